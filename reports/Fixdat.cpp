#include "reports/Fixdat.h"

#include "platform/Platform.h"
#include "reports/HtmlReport.h"

namespace qm {

namespace {

// Text as XML character data or attribute value (in double quotes): the page text of the HTML
// reports, with the control characters XML 1.0 cannot hold at all made visible as '?'.
std::string XmlText(std::string_view bytes) {
    std::string out;
    AppendHtmlText(out, bytes);
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
            c = '?';
        }
    }
    return out;
}

}  // namespace

std::string FixdatXml(std::string_view name, std::string_view date, const std::vector<MissingClone>& missing) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
        "\"http://www.logiqx.com/Dats/datafile.dtd\">\n"
        "<datafile>\n"
        "\t<header>\n";
    xml += "\t\t<name>" + XmlText(name) + " (fixdat)</name>\n";
    xml += "\t\t<description>" + XmlText(name) + ": ROMs missing on " + XmlText(date) + "</description>\n";
    xml += "\t\t<version>" + XmlText(date) + "</version>\n";
    xml += "\t\t<date>" + XmlText(date) + "</date>\n";
    xml += "\t\t<author>Quillmark</author>\n";
    xml += "\t</header>\n";
    for (const MissingClone& item : missing) {
        const TClone& clone = *item.Clone;
        xml += "\t<game name=\"" + XmlText(clone.Name) + "\"";
        if (clone.Game != nullptr && clone.Game->Name != clone.Name) {
            xml += " cloneof=\"" + XmlText(clone.Game->Name) + "\"";
        }
        xml += ">\n\t\t<description>" + XmlText(clone.Description) + "</description>\n";
        for (const TRomEntry* entry : item.Roms) {
            xml += "\t\t<rom name=\"" + XmlText(entry->Name) + "\" size=\"" + std::to_string(entry->Rom->Size) +
                   "\" crc=\"" + XmlText(entry->Rom->Crc) + "\"/>\n";
        }
        xml += "\t</game>\n";
    }
    xml += "</datafile>\n";
    return xml;
}

void WriteFixdat(const std::filesystem::path& file, std::string_view name, std::string_view date,
                 const std::vector<MissingClone>& missing) {
    WriteFileAtomic(file, FixdatXml(name, date, missing));
}

}  // namespace qm

// One small MAME game listing written in every format Quillmark reads (the emulator's
// -listinfo text, its -listxml, a Logiqx datafile, a clrmamepro datafile), the ROM lines the
// builder makes of it, and fake emulators (shell scripts) that print listings.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace qm::test {

// The listing's games: a parent and its clone with a merged ROM; a clone named before its
// parent (whose set gets the parent's description later), whose parent lists a ROM of
// another set; a machine without ROMs; two Neo-Geo games sharing BIOS ROMs, with ROMs of no
// good dump; a last game without ROMs; a UTF-8 description.
inline std::string ListInfoSample() {
    return "mame 0.36 listinfo\n"
           "game (\n"
           "\tname pacman\n"
           "\tdescription \"Pac-Man (Midway)\"\n"
           "\tyear 1980\n"
           "\trom ( name pacman.6e size 4096 crc c1e6ab10 )\n"
           "\trom ( name 82s123.7f size 32 crc 2fc650bd )\n"
           ")\n"
           "game (\n"
           "\tname puckman\n"
           "\tdescription \"PuckMan (Japan set 1)\"\n"
           "\tcloneof pacman\n"
           "\tromof pacman\n"
           "\trom ( name pm1-3.1m merge 82s123.7f size 32 crc 2fc650bd )\n"
           "\trom ( name namcopac.6e size 4096 crc FEE263B3 )\n"
           ")\n"
           "game (\n"
           "    name mspacmab\n"
           "    description \"Ms. Pac-Man (Attach\xC3\xA9 bootleg)\"\n"
           "    cloneof    mspacman\n"
           "    rom ( name boot1 size 4096 crc d16b31b7 )\n"
           ")\n"
           "game (\n"
           "\tname mspacman\n"
           "\tdescription \"Ms. Pac-Man\"\n"
           "\trom  (  name   pacman.6e   size 4096 crc c1e6ab10 )\n"
           ")\n"
           "game (\n"
           "\tname nodisk\n"
           "\tdescription \"Device without ROM\"\n"
           ")\n"
           "game (\n"
           "\tname mslug\n"
           "\tdescription \"Metal Slug\"\n"
           "\tromof neogeo\n"
           "\trom ( name neo-geo.rom size 131072 crc 9036d879 )\n"
           "\trom ( name ng-sm1.rom size 131072 crc 97cf998b )\n"
           "\trom ( name 201-p1.bin size 2097152 crc 08d8daa5 )\n"
           "\trom ( name pal.bin size 260 flags nodump )\n"
           ")\n"
           "game (\n"
           "\tname kof98\n"
           "\tdescription \"KOF 98\"\n"
           "\tromof neogeo\n"
           "\trom ( name neo-geo.rom size 131072 crc 9036d879 )\n"
           "\trom ( name 242-p1.bin size 2097152 crc 12345678 )\n"
           "\trom ( name bad.bin size 1 crc 00000000 )\n"
           ")\n"
           "game (\n"
           "\tname lastone\n"
           "\tdescription \"Last, no ROM\"\n"
           ")\n";
}

inline std::string ListXmlSample() {
    return "<?xml version=\"1.0\"?>\n"
           "<!DOCTYPE mame [\n"
           "<!ELEMENT mame (machine+)>\n"
           "\t<!ATTLIST mame build CDATA #IMPLIED>\n"
           "\t<!ELEMENT rom EMPTY>\n"
           "\t\t<!ATTLIST rom status (baddump|nodump|good) \"good\">\n"
           "]>\n"
           "<mame build=\"0.36 (test)\">\n"
           "\t<machine name=\"pacman\" sourcefile=\"pacman.cpp\">\n"
           "\t\t<description>Pac-Man (Midway)</description>\n"
           "\t\t<year>1980</year>\n"
           "\t\t<rom name=\"pacman.6e\" size=\"4096\" crc=\"c1e6ab10\" sha1=\"x\" region=\"maincpu\"/>\n"
           "\t\t<rom name=\"82s123.7f\" size=\"32\" crc=\"2fc650bd\"/>\n"
           "\t\t<disk name=\"ignored\" sha1=\"y\"/>\n"
           "\t</machine>\n"
           "\t<machine name=\"puckman\" cloneof=\"pacman\" romof=\"pacman\">\n"
           "\t\t<description>PuckMan (Japan set 1)</description>\n"
           "\t\t<rom name=\"pm1-3.1m\" merge=\"82s123.7f\" size=\"32\" crc=\"2fc650bd\"/>\n"
           "\t\t<rom name=\"namcopac.6e\" size=\"4096\" crc=\"FEE263B3\"/>\n"
           "\t</machine>\n"
           "\t<machine name=\"mspacmab\" cloneof=\"mspacman\">\n"
           "\t\t<description>Ms. Pac-Man (Attach\xC3\xA9 bootleg)</description>\n"
           "\t\t<rom name=\"boot1\" size=\"4096\" crc=\"d16b31b7\"/>\n"
           "\t</machine>\n"
           "\t<machine name=\"mspacman\">\n"
           "\t\t<description>Ms. Pac-Man</description>\n"
           "\t\t<rom name=\"pacman.6e\" size=\"4096\" crc=\"c1e6ab10\"/>\n"
           "\t</machine>\n"
           "\t<machine name=\"nodisk\" isdevice=\"yes\">\n"
           "\t\t<description>Device without ROM</description>\n"
           "\t</machine>\n"
           "\t<machine name=\"mslug\" romof=\"neogeo\">\n"
           "\t\t<description>Metal Slug</description>\n"
           "\t\t<rom name=\"neo-geo.rom\" size=\"131072\" crc=\"9036d879\"/>\n"
           "\t\t<rom name=\"ng-sm1.rom\" size=\"131072\" crc=\"97cf998b\"/>\n"
           "\t\t<rom name=\"201-p1.bin\" size=\"2097152\" crc=\"08d8daa5\"/>\n"
           "\t\t<rom name=\"pal.bin\" size=\"260\" status=\"nodump\"/>\n"
           "\t</machine>\n"
           "\t<machine name=\"kof98\" romof=\"neogeo\">\n"
           "\t\t<description>KOF 98</description>\n"
           "\t\t<rom name=\"neo-geo.rom\" size=\"131072\" crc=\"9036d879\"/>\n"
           "\t\t<rom name=\"242-p1.bin\" size=\"2097152\" crc=\"12345678\"/>\n"
           "\t\t<rom name=\"bad.bin\" size=\"1\" crc=\"00000000\"/>\n"
           "\t</machine>\n"
           "\t<machine name=\"lastone\">\n"
           "\t\t<description>Last, no ROM</description>\n"
           "\t</machine>\n"
           "</mame>\n";
}

// The same machines as a Logiqx datafile (<datafile>, <header>, <game>).
inline std::string LogiqxSample() {
    std::string xml = ListXmlSample();
    const std::size_t body = xml.find("\t<machine");
    xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<!DOCTYPE datafile PUBLIC \"-//Logiqx//DTD ROM Management Datafile//EN\" "
        "\"http://www.logiqx.com/Dats/datafile.dtd\">\n"
        "<datafile>\n"
        "\t<header>\n\t\t<name>MAME</name>\n\t\t<description>MAME 0.36 (test)</description>\n"
        "\t\t<version>0.36</version>\n\t</header>\n" +
        xml.substr(body);
    for (std::size_t at = xml.find("machine"); at != std::string::npos; at = xml.find("machine", at)) {
        xml.replace(at, 7, "game");
    }
    xml.replace(xml.rfind("</mame>"), 7, "</datafile>");
    return xml;
}

// The same machines as a clrmamepro datafile: a header block, quoted values, one-line and
// multi-line ROM blocks, "crc32" and "status nodump".
inline std::string ClrMameProSample() {
    return "clrmamepro (\n\tname \"MAME\"\n\tdescription \"MAME 0.36 (test)\"\n\tversion 0.36\n)\n\n"
           "game (\n\tname \"pacman\"\n\tdescription \"Pac-Man (Midway)\"\n\tyear 1980\n"
           "\trom ( name pacman.6e size 4096 crc c1e6ab10 md5 0 sha1 0 )\n"
           "\trom ( name \"82s123.7f\" size 32 crc32 2fc650bd )\n"
           "\tdisk ( name ignored sha1 0 )\n)\n"
           "game ( name puckman description \"PuckMan (Japan set 1)\" cloneof pacman romof pacman\n"
           "\trom ( name pm1-3.1m merge 82s123.7f size 32 crc 2fc650bd )\n"
           "\trom (\n\t\tname namcopac.6e\n\t\tsize 4096\n\t\tcrc FEE263B3\n\t)\n)\n"
           "game (\n\tname mspacmab\n\tdescription \"Ms. Pac-Man (Attach\xC3\xA9 bootleg)\"\n\tcloneof mspacman\n"
           "\trom ( name boot1 size 4096 crc d16b31b7 )\n)\n"
           "game (\n\tname mspacman\n\tdescription \"Ms. Pac-Man\"\n"
           "\trom ( name pacman.6e size 4096 crc c1e6ab10 )\n)\n"
           "game (\n\tname nodisk\n\tdescription \"Device without ROM\"\n)\n"
           "game (\n\tname mslug\n\tdescription \"Metal Slug\"\n\tromof neogeo\n"
           "\trom ( name neo-geo.rom size 131072 crc 9036d879 )\n"
           "\trom ( name ng-sm1.rom size 131072 crc 97cf998b )\n"
           "\trom ( name 201-p1.bin size 2097152 crc 08d8daa5 )\n"
           "\trom ( name pal.bin size 260 status nodump )\n)\n"
           "game (\n\tname kof98\n\tdescription \"KOF 98\"\n\tromof neogeo\n"
           "\trom ( name neo-geo.rom size 131072 crc 9036d879 )\n"
           "\trom ( name 242-p1.bin size 2097152 crc 12345678 )\n"
           "\trom ( name bad.bin size 1 crc 00000000 )\n)\n"
           "game (\n\tname lastone\n\tdescription \"Last, no ROM\"\n)\n";
}

// What the builder writes for the sample (MAME mode), "|" standing for the delimiter 0xAC.
inline std::string ExpectedSampleLines() {
    std::string text =
        "|kof98|KOF 98|kof98|KOF 98|242-p1.bin|12345678|O|O|2097152|\r\n"
        "|kof98|KOF 98|kof98|KOF 98|bad.bin|00000000|O|O|1|\r\n"
        "|lastone|Last, no ROM|lastone|Last, no ROM|No roms needed|        |N|O|0|\r\n"
        "|mslug|Metal Slug|mslug|Metal Slug|201-p1.bin|08d8daa5|O|O|2097152|\r\n"
        "|mslug|Metal Slug|mslug|Metal Slug|pal.bin|00000000|O|O|260|\r\n"
        "|mspacman|Ms. Pac-Man|mspacmab|Ms. Pac-Man (Attach\xE9 bootleg)|boot1|d16b31b7|N|O|4096|\r\n"
        "|mspacman|Ms. Pac-Man|mspacman|Ms. Pac-Man|pacman.6e|c1e6ab10|N|O|4096|\r\n"
        "|neogeo|Neo-Geo Bios|neogeo|Neo-Geo Bios|neo-geo.rom|9036d879|O|O|131072|\r\n"
        "|neogeo|Neo-Geo Bios|neogeo|Neo-Geo Bios|ng-sm1.rom|97cf998b|O|O|131072|\r\n"
        "|nodisk|Device without ROM|nodisk|Device without ROM|No roms needed|        |N|O|0|\r\n"
        "|pacman|Pac-Man (Midway)|pacman|Pac-Man (Midway)|82s123.7f|2fc650bd|N|O|32|\r\n"
        "|pacman|Pac-Man (Midway)|pacman|Pac-Man (Midway)|pacman.6e|c1e6ab10|N|O|4096|\r\n"
        "|pacman|Pac-Man (Midway)|puckman|PuckMan (Japan set 1)|namcopac.6e|fee263b3|N|O|4096|\r\n"
        "|pacman|Pac-Man (Midway)|puckman|PuckMan (Japan set 1)|pm1-3.1m|2fc650bd|N|N|32|\r\n";
    for (char& c : text) {
        if (c == '|') {
            c = '\xAC';
        }
    }
    return text;
}

// Writes a shell script and makes it executable.
inline std::filesystem::path WriteExecutable(const std::filesystem::path& path, std::string_view script) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << script;
    ::chmod(path.c_str(), 0755);
    return path;
}

// A fake emulator: "-help" prints `help` (exit 0), "-listinfo" prints the file listinfo.txt
// beside it or fails with exit 6 when there is none, "-listxml" prints listxml.xml.
inline std::filesystem::path WriteFakeEmulator(const std::filesystem::path& dir, std::string_view help,
                                               std::string_view listInfo, std::string_view listXml) {
    std::filesystem::create_directories(dir);
    if (!listInfo.empty()) {
        std::ofstream(dir / "listinfo.txt", std::ios::binary) << listInfo;
    }
    if (!listXml.empty()) {
        std::ofstream(dir / "listxml.xml", std::ios::binary) << listXml;
    }
    std::ofstream(dir / "help.txt", std::ios::binary) << help;
    return WriteExecutable(
        dir / "emulator",
        "#!/bin/sh\n"
        "d=$(dirname \"$0\")\n"
        "case \"$1\" in\n"
        "  -help) cat \"$d/help.txt\" ;;\n"
        "  -listinfo) [ -f \"$d/listinfo.txt\" ] || { echo \"Error: unknown option: -listinfo\" >&2; "
        "exit 6; }; cat \"$d/listinfo.txt\" ;;\n"
        "  -listxml) cat \"$d/listxml.xml\" ;;\n"
        "  *) exit 1 ;;\n"
        "esac\n");
}

}  // namespace qm::test

// quillmark-cli missing: the ROMs the collection lacks, per set or clone, and their fixdat.
#include <filesystem>

#include "cli/Verbs.h"
#include "platform/Platform.h"
#include "reports/Fixdat.h"
#include "reports/HtmlReport.h"

namespace qm {

int VerbMissing(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    const auto fixdat = args.Value("fixdat");
    if (fixdat && fixdat->empty()) {
        return ctx.Usage("--fixdat needs the file to write");
    }
    const std::optional<NameSelection> names = LoadProfileAndNames(ctx);
    if (!names) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    // Without names: the clones the collection holds in part, where a ROM or two is worth
    // fetching; --all adds those of which it holds nothing. A clone named is always shown.
    std::vector<const TClone*> clones;
    for (const TClone* clone : session.Games.SelectedClones) {
        if (names->Everything() ? (clone->HasPresentRom || args.Has("all")) : names->ChoosesClone(*clone)) {
            clones.push_back(clone);
        }
    }
    const std::vector<MissingClone> missing = CollectMissingRoms(session.Games, clones);
    std::size_t romCount = 0;
    for (const MissingClone& item : missing) {
        romCount += item.Roms.size();
    }
    std::string fixdatFile;
    if (fixdat) {
        fixdatFile = std::filesystem::absolute(*fixdat).lexically_normal().string();
        WriteFixdat(fixdatFile, session.Config.CurrentEmulator, THtmlreport::TodayText(), missing);
    }

    if (ctx.Json()) {
        std::vector<std::string> items;
        items.reserve(missing.size());
        for (const MissingClone& item : missing) {
            std::vector<std::string> roms;
            for (const TRomEntry* entry : item.Roms) {
                roms.push_back(EntryJson(entry->Name, entry->Rom->Crc, entry->Rom->Size));
            }
            items.push_back(JsonObject()
                                .Add("name", item.Clone->Name)
                                .Add("set", item.Clone->Game->Name)
                                .Add("description", item.Clone->Description)
                                .AddRaw("roms", JsonArray(roms))
                                .Text());
        }
        JsonObject json;
        json.Add("profile", session.Config.CurrentEmulator)
            .AddRaw("clones", JsonArray(items))
            .Add("clone_count", missing.size())
            .Add("rom_count", romCount);
        if (fixdat) {
            json.Add("fixdat", fixdatFile);
        } else {
            json.AddRaw("fixdat", "null");
        }
        ctx.PrintJson(json);
        return kExitOk;
    }
    std::ostream& out = ctx.Out();
    for (const MissingClone& item : missing) {
        out << DisplayText(item.Clone->Name) << " " << DisplayText(item.Clone->Game->Name) << " ("
            << DisplayText(item.Clone->Description) << "): " << item.Roms.size() << " missing\n";
        for (const TRomEntry* entry : item.Roms) {
            out << EntryLine(entry->Rom->Crc, entry->Rom->Size, entry->Name) << "\n";
        }
    }
    out << romCount << (romCount == 1 ? " ROM" : " ROMs") << " missing in " << missing.size()
        << (missing.size() == 1 ? " set or clone" : " sets or clones") << "\n";
    if (fixdat) {
        out << "Fixdat: " << DisplayText(fixdatFile) << "\n";
    }
    return kExitOk;
}

}  // namespace qm

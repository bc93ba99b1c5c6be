// Verbs that build profiles from listings: import-emulator, import-dat.
#include <filesystem>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "commands/Profiles.h"
#include "game_db/cel_strings.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// Runs one import with a terminal job; Ctrl-C gives the cancelled exit status.
template <class Import>
int RunImport(CliContext& ctx, Import&& import) {
    ProfileOutcome outcome;
    try {
        outcome = import(ctx.Job());
    } catch (const ECancelClick& e) {
        return ctx.Cancelled(std::string(e.what()) + " (nothing was written)");
    }
    return ReportProfileOutcome(ctx, outcome, "Imported");
}

}  // namespace

int VerbImportEmulator(CliContext& ctx) {
    const std::vector<std::string>& args = ctx.Args().Positional;
    if (args.size() != 2 || (args[0] != "mame" && args[0] != "raine")) {
        return ctx.Usage("needs the family (mame or raine) and the emulator EXE");
    }
    const ListingKind kind = args[0] == "mame" ? ListingKind::Mame : ListingKind::Raine;
    const auto given = ctx.Args().Value("name");
    const std::string name = given ? ProfileNameFromArgument(*given) : (kind == ListingKind::Mame ? "Mame" : "Raine");
    return RunImport(ctx, [&](Job& job) { return ImportEmulatorProfile(ctx.Session(), kind, args[1], name, job); });
}

int VerbImportDat(CliContext& ctx) {
    const std::vector<std::string>& args = ctx.Args().Positional;
    if (args.size() != 1) {
        return ctx.Usage("needs one datafile FILE");
    }
    const fs::path file = args[0];
    const auto given = ctx.Args().Value("name");
    const std::string name = ProfileNameFromArgument(given ? *given : ProfileNameOfListingFile(file));
    const std::string refName = ctx.Args().Value("refname").value_or("");
    return RunImport(ctx, [&](Job& job) { return ImportDatProfile(ctx.Session(), file, name, refName, job); });
}

}  // namespace qm

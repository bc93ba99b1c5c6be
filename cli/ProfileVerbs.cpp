// Verbs on the profiles themselves: profiles (list, add, remove), use.
#include <filesystem>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "commands/Profiles.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMakeOne =
    "\"import-dat FILE --name NAME\", \"import-emulator mame|raine EXE --name NAME\" or \"profiles add FILE.dat\"";

int ListProfiles(CliContext& ctx) {
    TSession& session = ctx.Session();
    const std::vector<std::string> profiles = session.Profiles();
    const std::string current = session.Config.CurrentEmulator;
    if (ctx.Json()) {
        std::vector<std::string> items;
        for (const std::string& p : profiles) {
            items.push_back(JsonObject().Add("name", p).Add("current", SameText(p, current)).Text());
        }
        ctx.PrintJson(JsonObject()
                          .Add("data_dir", session.Config.DataDir)
                          .Add("current", current)
                          .AddRaw("profiles", JsonArray(items)));
        return kExitOk;
    }
    for (const std::string& p : profiles) {
        ctx.Out() << (SameText(p, current) ? "* " : "  ") << DisplayText(p) << "\n";
    }
    if (profiles.empty()) {
        ctx.Err() << "quillmark-cli: no profile in " << DisplayText(session.Config.DataDir) << "; make one with "
                  << kMakeOne << "\n";
    }
    return kExitOk;
}

int AddProfileVerb(CliContext& ctx, const std::string& file) {
    const auto given = ctx.Args().Value("name");
    const std::string name = ProfileNameFromArgument(given ? *given : fs::path(file).filename().string());
    const ProfileOutcome outcome = AddProfile(ctx.Session(), file, name, ctx.Job());
    return ReportProfileOutcome(ctx, outcome, "Added");
}

int RemoveProfileVerb(CliContext& ctx, const std::string& argument) {
    const std::string name = ProfileArgument(ctx, argument);
    if (!RemoveProfile(ctx.Session(), name)) {
        return ctx.Fail("profile " + name + " was not removed");
    }
    const bool wasCurrent = SameText(name, ctx.Session().Config.CurrentEmulator);
    if (ctx.Json()) {
        ctx.PrintJson(JsonObject().Add("removed", name).Add("was_current", wasCurrent));
        return kExitOk;
    }
    ctx.Out() << "Removed profile " << DisplayText(name) << " (its datafile is in the Trash)\n";
    if (wasCurrent) {
        ctx.Out() << "It was the current profile: choose another with \"use NAME\"\n";
    }
    return kExitOk;
}

}  // namespace

std::string ProfileArgument(CliContext& ctx, const std::string& argument) {
    std::error_code ec;
    if (!ProfileNameProblem(argument) && fs::exists(ctx.Session().Config.DatafilePath(argument), ec)) {
        return argument;
    }
    return ProfileNameFromArgument(argument);
}

std::string NoProfileLine(CliContext& ctx, const std::string& name, bool named) {
    TSession& session = ctx.Session();
    const std::string dir = DisplayText(session.Config.DataDir);
    std::string line =
        named ? "no profile \"" + DisplayText(name) + "\" in " + dir
              : "no profile to work on: the current profile \"" + DisplayText(name) + "\" has no datafile in " + dir;
    const std::vector<std::string> profiles = session.Profiles();
    if (profiles.empty()) {
        return line + "; make one with " + kMakeOne;
    }
    constexpr std::size_t kShown = 10;
    line += "; profiles there: ";
    for (std::size_t i = 0; i < profiles.size() && i < kShown; ++i) {
        line += (i == 0 ? "" : ", ") + DisplayText(profiles[i]);
    }
    if (profiles.size() > kShown) {
        line += " and " + std::to_string(profiles.size() - kShown) + " more";
    }
    return line + "; choose one with \"use NAME\", or make one with " + kMakeOne;
}

int ReportProfileOutcome(CliContext& ctx, const ProfileOutcome& outcome, const char* verb) {
    const ListingCounts& counts = outcome.Counts;
    if (counts.SkippedGames > 0 || counts.SkippedRoms > 0 || counts.SkippedLines > 0) {
        ctx.Err() << "quillmark-cli: warning: skipped as unusable: " << counts.SkippedGames << " games (bad name), "
                  << counts.SkippedRoms << " ROM records (bad name, size or CRC), " << counts.SkippedLines
                  << " lines\n";
    }
    if (!outcome.Loaded) {
        return kExitFailure;  // the session said why
    }
    if (ctx.Json()) {
        JsonObject json;
        json.Add("profile", outcome.Name)
            .Add("datafile", outcome.Datafile.string())
            .Add("source", outcome.Source)
            .Add("emulator_version", outcome.EmulatorVersion)
            .Add("games_read", counts.Games)
            .Add("skipped_games", counts.SkippedGames)
            .Add("skipped_roms", counts.SkippedRoms)
            .Add("skipped_lines", counts.SkippedLines)
            .Add("replaced", outcome.Replaced)
            .Add("kept_rom_paths", outcome.KeptRomPaths)
            .Add("kept_exe", outcome.KeptExe);
        PrintCounts(ctx, json);
        ctx.PrintJson(json);
        return kExitOk;
    }
    std::ostream& out = ctx.Out();
    out << verb << " profile " << DisplayText(outcome.Name) << " from " << DisplayText(outcome.Source) << "\n";
    out << "Datafile: " << DisplayText(outcome.Datafile.string()) << "\n";
    if (outcome.Replaced) {
        out << "It replaces the previous " << DisplayText(outcome.Name) << ".dat";
        if (!outcome.KeptRomPaths.empty()) {
            out << "; kept its ROM directories (" << DisplayText(outcome.KeptRomPaths) << ")";
        }
        if (!outcome.KeptExe.empty()) {
            out << "; kept its emulator executable (" << DisplayText(outcome.KeptExe) << ")";
        }
        out << "\n";
    }
    out << "Current profile: " << DisplayText(outcome.Name) << "\n";
    JsonObject unused;
    PrintCounts(ctx, unused);
    return kExitOk;
}

int VerbProfiles(CliContext& ctx) {
    const std::vector<std::string>& args = ctx.Args().Positional;
    if (args.empty() && !ctx.Args().Has("name")) {
        return ListProfiles(ctx);
    }
    if (args.size() == 2 && args[0] == "add") {
        return AddProfileVerb(ctx, args[1]);
    }
    if (args.size() == 2 && args[0] == "remove" && !ctx.Args().Has("name")) {
        return RemoveProfileVerb(ctx, args[1]);
    }
    return ctx.Usage("expects nothing, \"add FILE.dat\" or \"remove NAME\"");
}

int VerbUse(CliContext& ctx) {
    if (ctx.Args().Positional.size() != 1) {
        return ctx.Usage("needs one profile NAME");
    }
    TSession& session = ctx.Session();
    const std::string name = ProfileArgument(ctx, ctx.Args().Positional[0]);
    if (const auto problem = ProfileNameProblem(name)) {
        return ctx.Fail(*problem);
    }
    std::error_code ec;
    if (!fs::exists(session.Config.DatafilePath(name), ec)) {
        return ctx.Fail(NoProfileLine(ctx, name, /*named=*/true));
    }
    if (!session.UseEmulator(name, TSession::LoadOptions{.RememberAsCurrent = true, .Scan = false}, ctx.Job())) {
        return kExitFailure;
    }
    if (ctx.Json()) {
        ctx.PrintJson(JsonObject().Add("current", name).Add("datafile", session.Config.OpenDatafile().string()));
        return kExitOk;
    }
    ctx.Out() << "Current profile: " << DisplayText(name) << "\n";
    return kExitOk;
}

int VerbInfo(CliContext& ctx) {
    if (!ctx.Args().Positional.empty()) {
        return ctx.Usage("takes no arguments");
    }
    // Counts before a scan would call every set that needs no ROM complete, and all else empty.
    if (!ctx.LoadProfile(/*scan=*/true)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    const TConfig& config = session.Config;
    JsonObject json;
    if (ctx.Json()) {
        json.Add("profile", config.CurrentEmulator)
            .Add("datafile", config.OpenDatafile().string())
            .Add("refname", config.RefName)
            .Add("emulator_version", config.EmulatorVersion)
            .Add("exe", config.Exe)
            .Add("runcmd", config.RunCmd)
            .Add("rom_paths", config.RomPaths);
        PrintCounts(ctx, json);
        json.Add("skipped_lines", session.SkippedDatafileLines);
        ctx.PrintJson(json);
        return kExitOk;
    }
    std::ostream& out = ctx.Out();
    out << "Profile:  " << DisplayText(config.CurrentEmulator) << "\n";
    out << "Datafile: " << DisplayText(config.OpenDatafile().string()) << "\n";
    out << "Emulator: " << DisplayText(config.EmulatorVersion) << " (refname " << DisplayText(config.RefName) << ")\n";
    out << "Exe:      " << DisplayText(config.Exe) << "\n";
    out << "ROM directories:\n";
    for (const std::string& dir : config.RomPaths) {
        out << "  " << DisplayText(dir) << "\n";
    }
    PrintCounts(ctx, json);
    if (session.SkippedDatafileLines > 0) {
        ctx.Err() << "quillmark-cli: warning: " << session.SkippedDatafileLines
                  << " blank or malformed lines of the game section were skipped\n";
    }
    return kExitOk;
}

}  // namespace qm

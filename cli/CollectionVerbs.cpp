// Verbs on the scanned collection: scan, status, paths.
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace qm {

void PrintCounts(CliContext& ctx, JsonObject& json) {
    TSession& session = ctx.Session();
    const StatusCounts counts = CountStatus(session.Games);
    if (ctx.Json()) {
        json.Add("sets", session.SubList.SetCount)
            .Add("clones", session.SubList.CloneCount)
            .Add("roms", session.SubList.RomCount)
            .Add("sets_complete", counts.SetsComplete)
            .Add("sets_incomplete", counts.SetsIncomplete)
            .Add("sets_empty", counts.SetsEmpty)
            .Add("clones_complete", counts.ClonesComplete)
            .Add("clones_incomplete", counts.ClonesIncomplete)
            .Add("clones_empty", counts.ClonesEmpty);
        return;
    }
    std::ostream& out = ctx.Out();
    out << "Sets:   " << session.SubList.SetCount << " (complete " << counts.SetsComplete << ", incomplete "
        << counts.SetsIncomplete << ", empty " << counts.SetsEmpty << ")\n";
    out << "Clones: " << session.SubList.CloneCount << " (complete " << counts.ClonesComplete << ", incomplete "
        << counts.ClonesIncomplete << ", empty " << counts.ClonesEmpty << ")\n";
    out << "Roms:   " << session.SubList.RomCount << "\n";
}

int VerbScan(CliContext& ctx) {
    if (!ctx.Args().Positional.empty()) {
        return ctx.Fail("usage: quillmark-cli scan [--profile NAME] [--refresh]");
    }
    if (!ctx.LoadProfile(/*scan=*/false)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    TerminalJob& job = ctx.Job();
    session.Paths.Scan(ctx.Args().Has("refresh"), job);
    const std::vector<std::string> problems = job.Problems();
    std::size_t archives = session.Paths.Files.size();
    std::size_t entries = session.Paths.ZipRomsByCrc.size();
    // A scan is asked to bring the caches up to date: one it could not write fails the command,
    // after everything else was done.
    const int cacheFailures = session.Paths.CacheWriteFailures;
    const int status = cacheFailures > 0 ? kExitFailure : kExitOk;
    if (ctx.Json()) {
        JsonObject json;
        json.Add("profile", session.Config.CurrentEmulator).Add("rom_paths", session.Config.RomPaths);
        PrintCounts(ctx, json);
        json.Add("archives", archives)
            .Add("entries", entries)
            .Add("directories_scanned", session.Paths.ScannedPaths())
            .Add("cache_writes_failed", cacheFailures)
            .Add("problems", problems);
        ctx.Out() << json.Text() << "\n";
        return status;
    }
    std::ostream& out = ctx.Out();
    // Directories that could not be read are not counted: they are among the problems.
    out << "Scanned " << archives << " archives, " << entries << " entries in " << session.Paths.ScannedPaths()
        << " directories\n";
    JsonObject unused;
    PrintCounts(ctx, unused);
    if (!problems.empty()) {
        out << "Problems:\n";
        for (const std::string& line : problems) {
            out << "  " << DisplayText(line) << "\n";
        }
    }
    if (cacheFailures > 0) {
        out << "Cache writes failed: " << cacheFailures << "\n";
    }
    return status;
}

int VerbStatus(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    if (!args.Positional.empty() || (args.Has("sets") && args.Has("clones")) ||
        (args.Has("missing") + args.Has("complete") + args.Has("incomplete")) > 1) {
        return ctx.Fail(
            "usage: quillmark-cli status [--sets|--clones] [--missing|--complete|--incomplete] [--profile NAME]");
    }
    if (!ctx.LoadProfile(/*scan=*/true)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    const bool clones = args.Has("clones");
    auto wanted = [&](ItemState state) {
        if (args.Has("missing")) {
            // Missing: everything that is not complete.
            return state != ItemState::Complete;
        }
        if (args.Has("complete")) {
            return state == ItemState::Complete;
        }
        if (args.Has("incomplete")) {
            return state == ItemState::Incomplete;
        }
        return true;
    };
    std::vector<std::string> items;
    std::ostream& out = ctx.Out();
    auto emit = [&](const std::string& name, const std::string* set, ItemState state, bool noGoodDump) {
        if (!wanted(state)) {
            return;
        }
        if (ctx.Json()) {
            JsonObject item;
            item.Add("name", name);
            if (set != nullptr) {
                item.Add("set", *set);
            }
            item.Add("state", StateName(state)).Add("nogooddump", noGoodDump);
            items.push_back(item.Text());
            return;
        }
        out << DisplayText(name);
        if (set != nullptr) {
            out << " " << DisplayText(*set);
        }
        out << " " << StateName(state) << (noGoodDump ? " nogooddump" : "") << "\n";
    };
    if (clones) {
        for (const TClone* clone : session.Games.SelectedClones) {
            emit(clone->Name, &clone->Game->Name, CloneState(*clone), clone->HasNoGoodDump);
        }
    } else {
        for (const TGame* game : session.Games.SelectedSets) {
            emit(game->Name, nullptr, SetState(*game), game->HasNoGoodDump);
        }
    }
    if (ctx.Json()) {
        out << JsonArray(items) << "\n";
    }
    return kExitOk;
}

int VerbPaths(CliContext& ctx) {
    const auto& positional = ctx.Args().Positional;
    const std::string action = positional.empty() ? "list" : positional[0];
    if ((action == "list" && positional.size() > 1) ||
        ((action == "add" || action == "remove") && positional.size() != 2) ||
        (action != "list" && action != "add" && action != "remove")) {
        return ctx.Fail("usage: quillmark-cli paths list|add DIR|remove DIR [--profile NAME]");
    }
    if (!ctx.LoadProfile(/*scan=*/false)) {
        return kExitFailure;
    }
    TConfig& config = ctx.Session().Config;
    if (action == "add" || action == "remove") {
        const std::filesystem::path given = std::filesystem::absolute(positional[1]).lexically_normal();
        const std::string dir = WithTrailingSlash(given.string());
        auto same = [&](const std::string& existing) {
            return WithTrailingSlash(std::filesystem::path(existing).lexically_normal().string()) == dir;
        };
        const auto found = std::find_if(config.RomPaths.begin(), config.RomPaths.end(), same);
        if (action == "add") {
            if (found != config.RomPaths.end()) {
                return ctx.Fail(dir + " is already a ROM directory of " + config.CurrentEmulator);
            }
            try {
                CheckRomDirectory(dir);
            } catch (const EBadValue& e) {
                return ctx.Fail(e.what());
            }
            config.RomPaths.push_back(dir);
        } else {
            if (found == config.RomPaths.end()) {
                return ctx.Fail(dir + " is not a ROM directory of " + config.CurrentEmulator);
            }
            config.RomPaths.erase(found);
        }
        config.SaveRomPaths();
    }
    if (ctx.Json()) {
        ctx.Out() << JsonObject().Add("profile", config.CurrentEmulator).Add("rom_paths", config.RomPaths).Text()
                  << "\n";
        return kExitOk;
    }
    for (const std::string& dir : config.RomPaths) {
        ctx.Out() << DisplayText(dir) << "\n";
    }
    return kExitOk;
}

}  // namespace qm

// Verbs on the scanned collection: scan, status, paths; the choice of sets by name.
#include <fnmatch.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <unordered_set>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace qm {

namespace {

bool IsWildcard(std::string_view pattern) {
    return pattern.find_first_of("*?[") != std::string_view::npos;
}

// The sets that have an archive in the scanned collection: "complete" also counts the sets that
// need no ROM at all, which have none.
std::size_t SetsWithArchive(TSession& session) {
    std::unordered_set<const TGame*> sets;
    for (const auto& path : session.Paths.Paths()) {
        for (const TFile* file : path->Files()) {
            if (const TGame* game = session.Games.GameOfZip(file->Name)) {
                sets.insert(game);
            }
        }
    }
    return sets.size();
}

}  // namespace

NameSelection::NameSelection(const std::vector<std::string>& patterns) {
    for (const std::string& pattern : patterns) {
        // Names are kept lower-case; the emulators' own verify does not mind the case either.
        std::string lower = LowerCase(pattern);
        if (IsWildcard(lower)) {
            wildcards_.push_back(std::move(lower));
        } else {
            literals_.insert(std::move(lower));
        }
    }
}

bool NameSelection::Matches(std::string_view name) const {
    if (literals_.count(std::string(name)) > 0) {
        return true;
    }
    const std::string text(name);
    return std::any_of(wildcards_.begin(), wildcards_.end(),
                       [&](const std::string& pattern) { return ::fnmatch(pattern.c_str(), text.c_str(), 0) == 0; });
}

bool NameSelection::ChoosesSet(const TGame& game) const {
    if (Everything() || Matches(game.Name)) {
        return true;
    }
    return std::any_of(game.Clones.begin(), game.Clones.end(),
                       [&](const TClone* clone) { return Matches(clone->Name); });
}

bool NameSelection::ChoosesClone(const TClone& clone) const {
    return Everything() || Matches(clone.Name) || (clone.Game != nullptr && Matches(clone.Game->Name));
}

std::vector<std::string> NameSelection::Unmatched(const TGamesList& games) const {
    std::vector<std::string> unmatched;
    for (const std::string& name : literals_) {
        if (games.FindGame(name) == nullptr && games.FindClone(name) == nullptr) {
            unmatched.push_back(name);
        }
    }
    for (const std::string& pattern : wildcards_) {
        const bool any = std::any_of(games.AllClones.begin(), games.AllClones.end(), [&](const TClone* clone) {
            return ::fnmatch(pattern.c_str(), clone->Name.c_str(), 0) == 0 ||
                   ::fnmatch(pattern.c_str(), clone->Game->Name.c_str(), 0) == 0;
        });
        if (!any) {
            unmatched.push_back(pattern);
        }
    }
    return unmatched;
}

bool CheckNamesKnown(CliContext& ctx, const NameSelection& names) {
    const std::vector<std::string> unmatched = names.Unmatched(ctx.Session().Games);
    if (unmatched.empty()) {
        return true;
    }
    std::string list;
    for (const std::string& name : unmatched) {
        list += (list.empty() ? "\"" : ", \"") + name + "\"";
    }
    ctx.Fail("no set or clone of " + ctx.Session().Config.CurrentEmulator + " is named " + list);
    return false;
}

std::optional<NameSelection> LoadProfileAndNames(CliContext& ctx) {
    if (!ctx.LoadProfile(/*scan=*/true)) {
        return std::nullopt;
    }
    NameSelection names(ctx.Args().Positional);
    if (!CheckNamesKnown(ctx, names)) {
        return std::nullopt;
    }
    return names;
}

void PrintCounts(CliContext& ctx, JsonObject& json) {
    TSession& session = ctx.Session();
    const StatusCounts counts = CountStatus(session.Games);
    const std::size_t withArchive = SetsWithArchive(session);
    if (ctx.Json()) {
        json.Add("sets", session.SubList.SetCount)
            .Add("clones", session.SubList.CloneCount)
            .Add("roms", session.SubList.RomCount)
            .Add("sets_complete", counts.SetsComplete)
            .Add("sets_incomplete", counts.SetsIncomplete)
            .Add("sets_empty", counts.SetsEmpty)
            .Add("sets_with_archive", withArchive)
            .Add("clones_complete", counts.ClonesComplete)
            .Add("clones_incomplete", counts.ClonesIncomplete)
            .Add("clones_empty", counts.ClonesEmpty);
        return;
    }
    std::ostream& out = ctx.Out();
    out << "Sets:   " << session.SubList.SetCount << " (complete " << counts.SetsComplete << ", incomplete "
        << counts.SetsIncomplete << ", empty " << counts.SetsEmpty << "; " << withArchive << " with an archive)\n";
    out << "Clones: " << session.SubList.CloneCount << " (complete " << counts.ClonesComplete << ", incomplete "
        << counts.ClonesIncomplete << ", empty " << counts.ClonesEmpty << ")\n";
    out << "Roms:   " << session.SubList.RomCount << "\n";
}

int VerbScan(CliContext& ctx) {
    if (!ctx.Args().Positional.empty()) {
        return ctx.Usage("takes no arguments");
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
        ctx.PrintJson(json);
        return status;
    }
    std::ostream& out = ctx.Out();
    // Directories that could not be read are not counted: they are among the problems, which
    // went to standard error as they came.
    out << "Scanned " << archives << " archives, " << entries << " entries in " << session.Paths.ScannedPaths()
        << " directories\n";
    JsonObject unused;
    PrintCounts(ctx, unused);
    if (!problems.empty()) {
        out << "Problems: " << problems.size() << " (on standard error)\n";
    }
    if (cacheFailures > 0) {
        ctx.Err() << "quillmark-cli: cache writes failed: " << cacheFailures << "\n";
    }
    return status;
}

int VerbStatus(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    if (args.Has("sets") && args.Has("clones")) {
        return ctx.Usage("--sets and --clones exclude each other");
    }
    if ((args.Has("missing") + args.Has("complete") + args.Has("incomplete")) > 1) {
        return ctx.Usage("only one of --missing, --complete and --incomplete");
    }
    const std::optional<NameSelection> names = LoadProfileAndNames(ctx);
    if (!names) {
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
            if (names->ChoosesClone(*clone)) {
                emit(clone->Name, &clone->Game->Name, CloneState(*clone), clone->HasNoGoodDump);
            }
        }
    } else {
        for (const TGame* game : session.Games.SelectedSets) {
            if (names->ChoosesSet(*game)) {
                emit(game->Name, nullptr, SetState(*game), game->HasNoGoodDump);
            }
        }
    }
    if (ctx.Json()) {
        ctx.PrintJson(JsonObject()
                          .Add("profile", session.Config.CurrentEmulator)
                          .Add("level", clones ? "clones" : "sets")
                          .AddRaw("items", JsonArray(items)));
    }
    return kExitOk;
}

int VerbPaths(CliContext& ctx) {
    const auto& positional = ctx.Args().Positional;
    const std::string action = positional.empty() ? "list" : positional[0];
    if ((action == "list" && positional.size() > 1) ||
        ((action == "add" || action == "remove") && positional.size() != 2) ||
        (action != "list" && action != "add" && action != "remove")) {
        return ctx.Usage("expects \"list\", \"add DIR\" or \"remove DIR\"");
    }
    if (!ctx.LoadProfile(/*scan=*/false)) {
        return kExitFailure;
    }
    TConfig& config = ctx.Session().Config;
    if (action == "add" || action == "remove") {
        const std::filesystem::path given = std::filesystem::absolute(positional[1]).lexically_normal();
        const std::string dir = WithTrailingSlash(given.string());
        // The base directory a load adds when no directory is writable is for that run only: it
        // is not written into the profile with the others.
        if (!config.FallbackRomPath.empty()) {
            std::erase(config.RomPaths, config.FallbackRomPath);
        }
        auto same = [&](const std::string& existing) {
            return WithTrailingSlash(std::filesystem::path(existing).lexically_normal().string()) == dir;
        };
        const auto found = std::find_if(config.RomPaths.begin(), config.RomPaths.end(), same);
        if (action == "add") {
            if (found != config.RomPaths.end()) {
                return ctx.Fail(dir + " is already a ROM directory of " + config.CurrentEmulator, dir);
            }
            try {
                CheckRomDirectory(dir);
            } catch (const EBadValue& e) {
                return ctx.Fail(e.what(), dir);
            }
            std::error_code ec;
            if (!std::filesystem::is_directory(given, ec)) {
                return ctx.Fail(dir + (std::filesystem::exists(given, ec) ? " is not a directory" : " does not exist") +
                                    ": it was not added",
                                dir);
            }
            config.RomPaths.push_back(dir);
        } else {
            if (found == config.RomPaths.end()) {
                return ctx.Fail(dir + " is not a ROM directory of " + config.CurrentEmulator, dir);
            }
            config.RomPaths.erase(found);
        }
        config.SaveRomPaths();
        config.RomPathsFrom = TConfig::RomPathsOrigin::Profile;
        config.FallbackRomPath.clear();
    }
    // Where each directory comes from: a key for --json, words for the reader.
    auto origin = [&](const std::string& dir) -> std::pair<const char*, std::string> {
        if (dir == config.FallbackRomPath) {
            return {"fallback", "for this run only: none of the others is writable"};
        }
        switch (config.RomPathsFrom) {
            case TConfig::RomPathsOrigin::Profile:
                return {"profile", "from the profile"};
            case TConfig::RomPathsOrigin::EmulatorConfig:
                return {"emulator_config", "from the emulator's configuration file"};
            case TConfig::RomPathsOrigin::EmulatorDefaults:
                break;
        }
        return {"default", "a default: the profile names no directory"};
    };
    if (ctx.Json()) {
        std::vector<std::string> dirs;
        for (const std::string& dir : config.RomPaths) {
            dirs.push_back(JsonObject().Add("path", dir).Add("origin", origin(dir).first).Text());
        }
        ctx.PrintJson(JsonObject()
                          .Add("profile", config.CurrentEmulator)
                          .Add("rom_paths", config.RomPaths)
                          .AddRaw("directories", JsonArray(dirs)));
        return kExitOk;
    }
    for (const std::string& dir : config.RomPaths) {
        ctx.Out() << DisplayText(dir) << "  (" << origin(dir).second << ")\n";
    }
    return kExitOk;
}

}  // namespace qm

// The verbs of quillmark-cli, each writing to the context's streams.
#pragma once

#include "cli/Cli.h"
#include "cli/Json.h"
#include "game_db/GamesList.h"

namespace qm {

struct ProfileOutcome;

int VerbProfiles(CliContext& ctx);
int VerbInfo(CliContext& ctx);
int VerbZip(CliContext& ctx);
int VerbCrc(CliContext& ctx);
int VerbUse(CliContext& ctx);
int VerbImportEmulator(CliContext& ctx);
int VerbImportDat(CliContext& ctx);
int VerbScan(CliContext& ctx);
int VerbStatus(CliContext& ctx);
int VerbPaths(CliContext& ctx);
int VerbAudit(CliContext& ctx);
int VerbReport(CliContext& ctx);
int VerbExportNeoGeo(CliContext& ctx);
int VerbUpdateCd(CliContext& ctx);
int VerbExamine(CliContext& ctx);
int VerbMerge(CliContext& ctx);
int VerbMissing(CliContext& ctx);
const std::set<std::string>& AuditOptionNames();
int VerbRepair(CliContext& ctx);
const std::set<std::string>& RepairOptionNames();
// The KINDs of the report verb.
std::vector<std::string> ReportKindNames();

// The profile a NAME argument stands for: the name as given when its datafile exists, else the
// name without a ".dat" typed along.
std::string ProfileArgument(CliContext& ctx, const std::string& argument);
// One line for a profile that is not there: the profiles that are, and how to make one.
std::string NoProfileLine(CliContext& ctx, const std::string& name, bool named);
// Prints what a profile verb made, then the loaded profile's counts.
int ReportProfileOutcome(CliContext& ctx, const ProfileOutcome& outcome, const char* verb);

// --name / --no-name switches a default.
bool Switch(const CliArgs& args, const std::string& name, bool fallback);

// A folder given on the command line, absolute, ending with '/'.
std::string AbsoluteFolder(const std::string& dir);

// An option value ignore | delete | move:DIR into an action (Ignore, Delete, Move) and its
// folder; false for anything else. Unset leaves both as they are.
template <class Action>
bool ParseDisposal(const std::optional<std::string>& value, Action& action, std::string& folder) {
    if (!value) {
        return true;
    }
    if (*value == "ignore") {
        action = Action::Ignore;
    } else if (*value == "delete") {
        action = Action::Delete;
    } else if (value->starts_with("move:") && value->size() > 5) {
        action = Action::Move;
        folder = AbsoluteFolder(value->substr(5));
    } else {
        return false;
    }
    return true;
}

// A message on one line, for display: line breaks become blanks.
std::string OneLine(const std::string& text);

// The sets and clones named on the command line, by name or shell-style wildcard (pac*, ?ac[mn]*),
// without regard to case. A name chooses the set or clone of that name; a set shows when it or
// one of its clones is chosen, a clone when it or its set is. No name chooses everything.
class NameSelection {
public:
    explicit NameSelection(const std::vector<std::string>& patterns);
    bool Everything() const { return literals_.empty() && wildcards_.empty(); }
    bool ChoosesSet(const TGame& game) const;
    bool ChoosesClone(const TClone& clone) const;
    // The names and patterns that choose no set or clone of `games`.
    std::vector<std::string> Unmatched(const TGamesList& games) const;

private:
    bool Matches(std::string_view name) const;
    std::set<std::string> literals_;
    std::vector<std::string> wildcards_;
};
// False, after an error naming them, when some names choose nothing.
bool CheckNamesKnown(CliContext& ctx, const NameSelection& names);
// Loads and scans the profile, then takes the verb's arguments as names; nullopt after an error.
std::optional<NameSelection> LoadProfileAndNames(CliContext& ctx);

// One file of a listing: "  CRC      SIZE  NAME", and as JSON (name, crc, size).
std::string EntryLine(std::string_view crc, std::int64_t size, std::string_view name);
std::string EntryJson(std::string_view name, std::string_view crc, std::int64_t size);

// The set/clone/ROM counts with complete, incomplete and empty counts, as text or JSON keys.
void PrintCounts(CliContext& ctx, JsonObject& json);

}  // namespace qm

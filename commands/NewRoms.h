// New ROMs from dropped zip files, as both programs run them minus the windows: the examination
// of the dropped files with its source report, and the merge of the ROMs the collection lacks
// with its question, the caches written and the rescan.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Merge.h"
#include "engine/SrcRomList.h"

namespace qm {

class Job;
class TSession;

inline constexpr std::string_view kNothingToMerge =
    "Nothing to merge. Drag and drop zip files in the zip dropping zone.";
inline constexpr std::string_view kSourceReportName = "srcreport.txt";

// The zip files among dropped paths, in drop order, duplicates kept: those whose extension is
// ".zip" in any letter case (folders and other files are left out without a word).
std::vector<std::string> DroppedZipFiles(const std::vector<std::string>& dropped);

// Examines the dropped files against the session's database and keeps the new ROMs.
void ExamineDroppedFiles(TSession& session, TSrcRomList& sources, const std::vector<std::string>& files, Job& job);

// Saves the source report as srcreport.txt in the scratch folder and gives its path; an empty
// path, writing nothing, when the report has no line.
std::filesystem::path SaveSourceReport(const TSession& session, const TSrcRomList& sources);

// "The new roms will now be copied in the <refname> rom directory"
std::string MergeQuestion(const TSession& session);

// What the user is told of an entry of his that the merge renamed to make room:
// "Kept <archive>: <from> renamed <to> (another rom of that name)".
std::string DisplacedLine(const MergeDisplaced& displaced);

struct NewRomsMerge {
    bool NothingToMerge = false;  // told through the prompts
    bool Declined = false;        // the user did not confirm
    MergeOutcome Outcome;
};
// The merge of dropped ROMs: "Nothing to merge ..." when none is new, the question, the merge of
// every dropped ROM into the archives that lack it, the caches written, the new ROMs kept again
// and the picture rescanned from the caches (also after an error, which then goes on to the
// caller).
NewRomsMerge MergeDroppedRoms(TSession& session, TSrcRomList& sources, Job& job);
// MergeDroppedRoms after its question, for a caller that asks it itself (the desktop program asks on
// its GUI thread, then merges on its worker).
MergeOutcome MergeConfirmedRoms(TSession& session, TSrcRomList& sources, Job& job);

}  // namespace qm

// What the checks of the audit find, as plain records: the text report, the --json output, the
// desktop program and the repair all read these, and only reports/ turns them into words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qm {

enum class FindingKind : std::uint8_t {
    // The archive-name pass.
    RightName,          // the archive stands for another name, free in its directory
    RightNameTaken,     // ... which another archive of its directory already has
    RightNameReadOnly,  // ... and its directory is on a read-only medium
    DuplicatedArchive,  // an earlier writable directory holds an archive of the same name
    NoGoodName,         // the archive stands for no selected set or clone
    NameCorrect,        // the archive bears its right name
    // The entries of one archive.
    Correct,          // needed here under this name (Complemented, NoGoodDump say how)
    NeededElsewhere,  // another archive (Target) lacks it under Expected
    WrongName,        // needed here under Expected instead
    SecondName,       // needed here under Expected too
    DuplicatedEntry,  // the archive holds it under its right name already
    NotNeeded,        // no clone of this archive's set needs it
    Unknown,          // no ROM of the selection has its CRC or name
    CheckFailed,      // the checks of the archive stopped on an error (Message)
};

// A kind's name in machine-readable output (--json): lower case, words joined by '_'.
constexpr const char* FindingKindName(FindingKind kind) {
    switch (kind) {
        case FindingKind::RightName:
            return "right_name";
        case FindingKind::RightNameTaken:
            return "right_name_taken";
        case FindingKind::RightNameReadOnly:
            return "right_name_read_only";
        case FindingKind::DuplicatedArchive:
            return "duplicated_archive";
        case FindingKind::NoGoodName:
            return "no_good_name";
        case FindingKind::NameCorrect:
            return "name_correct";
        case FindingKind::Correct:
            return "correct";
        case FindingKind::NeededElsewhere:
            return "needed_elsewhere";
        case FindingKind::WrongName:
            return "wrong_name";
        case FindingKind::SecondName:
            return "second_name";
        case FindingKind::DuplicatedEntry:
            return "duplicated_entry";
        case FindingKind::NotNeeded:
            return "not_needed";
        case FindingKind::Unknown:
            return "unknown";
        case FindingKind::CheckFailed:
            return "check_failed";
    }
    return "";
}

// A finding of the archive-name pass.
struct TArchiveFinding {
    FindingKind Kind = FindingKind::NoGoodName;
    // The archive's full path, under the name it had when it was found (the report shows that
    // name).
    std::string ArchivePath;
    // The archive's right name.
    std::string Expected;
};

// A finding about one entry of an archive; its TArchiveFindings names the archive. Kept small:
// a large collection's audit has hundreds of thousands of them.
struct TFinding {
    FindingKind Kind = FindingKind::Unknown;
    // Found by its complemented CRC (a known bad dump).
    bool Complemented = false;
    // About a ROM whose good dump is unknown.
    bool NoGoodDump = false;
    // The entry's name and CRC as the archive holds them.
    std::string Entry;
    std::string Crc;
    // The name the entry should have, or is needed under.
    std::string Expected;
    // The archive that lacks the entry (needed elsewhere).
    std::string Target;
    std::string Message;  // CheckFailed: the error (Entry and Crc name the entry being checked)
};

// The findings of one archive's entries, in the order of the checks (entries in CRC order).
struct TArchiveFindings {
    std::string Path;  // as the archive is known when its entries are checked (a rename in the model shows)
    // An earlier writable directory holds an archive of that name: reported even without findings.
    bool Duplicate = false;
    std::vector<TFinding> Findings;
};

struct TAuditResult {
    // The archive-name pass, in the order of the archive names.
    std::vector<TArchiveFinding> Names;
    // Then each archive with findings (or duplicated), directory by directory.
    std::vector<TArchiveFindings> Archives;
    // Lines about archives that could not be read or handled, in the order they came.
    std::vector<std::string> ProblemLines;
    // Corrupted archives moved or deleted as asked, and those that could not be.
    std::size_t CorruptedHandled = 0;
    std::size_t CorruptedFailed = 0;

    bool Empty() const { return Names.empty() && Archives.empty(); }
};

}  // namespace qm

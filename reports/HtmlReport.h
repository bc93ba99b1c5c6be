// The HTML reports: one page about the current selection (complete, incomplete and empty sets
// and clones, missing ROMs, "no good dump known" ROMs, statistics), written as
// "QuillmarkReport.htm" with its five images beside it and opened in the browser.
//
// The page is kept as the bytes of its lines, each ended by CR LF. Names and descriptions are
// datafile bytes in Windows-1252, or UTF-8 when they came from zip entry names: the page turns
// both into UTF-8 and says so in its header, and escapes the characters that would otherwise be
// read as markup, so that no datafile can break the page or put script into it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace qm {

class TSubList;
class UserPrompts;

inline constexpr const char* kHtmlReportFileName = "QuillmarkReport.htm";
inline constexpr const char* kQuillmarkHomePage = "https://quillmark.example.org/";
inline constexpr const char* kQuillmarkMail = "quillmark@example.org";

// The eleven counts of the statistics page, in the order the page shows them.
struct TReportStatistics {
    std::int64_t SetsFull = 0;
    std::int64_t SetsPartial = 0;
    std::int64_t SetsEmpty = 0;
    std::int64_t SetsNoGoodDump = 0;
    std::int64_t ClonesFull = 0;
    std::int64_t ClonesPartial = 0;
    std::int64_t ClonesEmpty = 0;
    std::int64_t ClonesNoGoodDump = 0;
    std::int64_t RomsAvailable = 0;
    std::int64_t RomsMissing = 0;
    std::int64_t RomsNoGoodDump = 0;

    friend bool operator==(const TReportStatistics&, const TReportStatistics&) = default;
};

class THtmlreport {
public:
    // A page with its header; `date` is the text shown after "Compiled on" (today by default).
    explicit THtmlreport(std::string_view title, std::string_view date = TodayText());

    void BeginSetTable();
    void AddSetRow(std::string_view setName, std::string_view setDescription);
    void EndSetTable() { EndTable(); }

    void BeginCloneTable();
    // Note the order of the last two: the set's description comes before its name.
    void AddCloneRow(std::string_view cloneName, std::string_view cloneDescription, std::string_view setDescription,
                     std::string_view setName);
    void EndCloneTable() { EndTable(); }

    void BeginRomTable();
    void AddRomRow(std::string_view crc, std::string_view romName, std::string_view cloneName,
                   std::string_view cloneDescription, std::string_view setName, std::string_view setDescription);
    void EndRomTable() { EndTable(); }

    // The statistics body: for sets, clones and ROMs a heading with the total, a bar of the
    // shares and a legend with counts and percentages.
    void AddStatistics(const TReportStatistics& counts);

    // Rows added so far.
    std::size_t RecordCount() const { return recordCount_; }
    // The whole page as it is saved: the lines so far and the footer.
    std::string Text() const;
    // Writes the five images into the page's folder, then the page (each replaced whole).
    // Throws EFileError naming the file that could not be written.
    void SaveToFile(const std::filesystem::path& file) const;

    // Today's date as the page shows it (YYYY-MM-DD).
    static std::string TodayText();

private:
    void Line(std::string_view text);
    void BeginTable(std::initializer_list<std::pair<std::string_view, std::string_view>> headings);
    void EndTable();
    void Cell(std::string_view width, std::string_view value);
    std::string Footer() const;

    std::string page_;
    std::size_t recordCount_ = 0;
};

// The nine reports of the Reports menu.
enum class HtmlReportKind {
    CompleteSets,
    IncompleteSets,
    EmptySets,
    CompleteClones,
    IncompleteClones,
    EmptyClones,
    MissingRoms,
    NoGoodDumpRoms,
    Statistics,
};

// Title suffix of a report (it begins with its own blank): " complete sets" and so on.
std::string_view HtmlReportTitleSuffix(HtmlReportKind kind);

// The statistics counts of the selection: each selected set once (however many of its clones
// are selected), each selected clone, each ROM entry of each selected clone.
TReportStatistics CountReportStatistics(const TSubList& selection);

// The page of one report over the selection, titled refName + suffix.
THtmlreport BuildHtmlReport(HtmlReportKind kind, const TSubList& selection, std::string_view refName,
                            std::string_view date = THtmlreport::TodayText());

struct HtmlReportOutcome {
    std::filesystem::path File;  // folder/"QuillmarkReport.htm"
    std::size_t Records = 0;
};

// Builds the report and saves it with its images into `folder` (the scratch folder).
HtmlReportOutcome WriteHtmlReport(HtmlReportKind kind, const TSubList& selection, std::string_view refName,
                                  const std::filesystem::path& folder);

// Whether the saved page should be shown: a missing-ROMs page of more than 1000 rows asks first
// ("There are N records to display ! Continue ?"); every other page is shown at once.
bool ConfirmShowingHtmlReport(HtmlReportKind kind, const HtmlReportOutcome& outcome, UserPrompts& prompts);

// A date, name, description or CRC as page text: UTF-8, with & < > " escaped.
void AppendHtmlText(std::string& out, std::string_view bytes);

}  // namespace qm

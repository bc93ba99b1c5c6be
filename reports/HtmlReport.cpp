#include "reports/HtmlReport.h"

#include <chrono>
#include <ctime>
#include <initializer_list>
#include <unordered_set>
#include <vector>

#include "config/config.h"
#include "game_db/GamesList.h"
#include "game_db/SubList.h"
#include "platform/Platform.h"
#include "platform/UserPrompts.h"
#include "reports/JpegImages.h"

namespace qm {

namespace {

constexpr std::string_view kCrLf = "\r\n";

// A missing-ROMs page longer than this asks before it is shown.
constexpr std::size_t kRowsShownWithoutAsking = 1000;

// A percentage kept in hundredths, so that rounding and printing are exact.
struct Percent {
    std::int64_t Hundredths = 0;
};

// round(count x 10000 / total) / 100, halves to the even neighbour; 0 for an empty group.
Percent PercentOf(std::int64_t count, std::int64_t total) {
    if (total <= 0) {
        return {};
    }
    const std::int64_t scaled = count * 10000;
    std::int64_t quotient = scaled / total;
    const std::int64_t twiceRemainder = 2 * (scaled % total);
    if (twiceRemainder > total || (twiceRemainder == total && quotient % 2 != 0)) {
        ++quotient;
    }
    return {quotient};
}

// The shortest decimal form: "33.33", "12.5", "100", "0". The separator is always '.': the
// percentage is also a width attribute, which takes no other.
std::string PercentText(Percent p) {
    std::string text = std::to_string(p.Hundredths / 100);
    const std::int64_t fraction = p.Hundredths % 100;
    if (fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            text += static_cast<char>('0' + fraction % 10);
        }
    }
    return text;
}

struct StatisticsCategory {
    std::string_view Label;
    std::int64_t Count;
    std::string_view BarColour;
    std::string_view Legend;  // image file
};

struct LegendImages {
    static constexpr std::string_view Green = "legendevert.jpg";
    static constexpr std::string_view Red = "legenderouge.jpg";
    static constexpr std::string_view Yellow = "legendejaune.jpg";
    static constexpr std::string_view Grey = "legendegris.jpg";
};

}  // namespace

void AppendHtmlText(std::string& out, std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (static_cast<unsigned char>(c) >= 0x80) {
            // A run of non-ASCII bytes holds nothing to escape; it is decoded as a whole so
            // that UTF-8 sequences are recognised.
            std::size_t end = i;
            while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x80) {
                ++end;
            }
            out += DisplayText(bytes.substr(i, end - i));
            i = end;
            continue;
        }
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
                break;
        }
        ++i;
    }
}

std::string THtmlreport::TodayText() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

void THtmlreport::Line(std::string_view text) {
    page_ += text;
    page_ += kCrLf;
}

THtmlreport::THtmlreport(std::string_view title, std::string_view date) {
    const std::string home = kQuillmarkHomePage;
    std::string escapedTitle;
    AppendHtmlText(escapedTitle, title);
    std::string escapedDate;
    AppendHtmlText(escapedDate, date);

    Line("<html>");
    Line("<head>");
    Line("<title>" + escapedTitle + "</title>");
    Line(R"(<meta http-equiv="Content-Type" content="text/html; charset=utf-8">)");
    Line(R"(<meta name="GENERATOR" content="Microsoft FrontPage 3.0">)");
    Line("</head>");
    Line(R"(<body bgcolor="#FFFFFF" text="#000000">)");
    Line(R"(<table border="0" width="100%" cellspacing="0" cellpadding="0">)");
    Line("  <tr>");
    Line(R"(    <td width="65%" bgcolor="#FFEBBF"><p align="left"><a href=")" + home +
         R"("><img border="0" width="180" height="37" alt="Quillmark")");
    Line(R"(    src="qmlogo.jpg" ></a></td>)");
    Line(R"(    <td width="35%" bgcolor="#FFEBBF"><p align="right"><font color="#000000"><small>Compiled)");
    Line("    on " + escapedDate + R"( with <a href=")" + home +
         R"(">Quillmark</a></small><strong>.</strong></font></td>)");
    Line("  </tr>");
    Line("</table>");
    Line(R"(<hr width="95%" color="#000080">)");
    Line("<p>&nbsp;</p>");
    Line(R"(<div align="center"><center>)");
    Line(R"(<table border="1" width="70%" bgcolor="#FFFFFF" bordercolor="#FFCC66")");
    Line(R"(bordercolorlight="#FFFF00" bordercolordark="#FF0000" cellspacing="0">)");
    Line("  <tr>");
    Line(
        R"(    <td width="100%"><p align="center"><font face="Times New Roman" color="#000080"><strong><big><big><big>)" +
        escapedTitle + "</big></big></big></strong></font></td>");
    Line("  </tr>");
    Line("</table>");
    Line("</center></div>");
    Line("<p>&nbsp;</p>");
}

void THtmlreport::BeginTable(std::initializer_list<std::pair<std::string_view, std::string_view>> headings) {
    Line(R"(<table border="1" bgcolor="#FFFFFF" width="100%" cellspacing="0" bordercolor="#000080">)");
    Line("  <tr>");
    for (const auto& [heading, width] : headings) {
        page_ += R"(    <td width=")";
        page_ += width;
        page_ += R"(%" bgcolor="#FFCC66"><font color="#000080"><strong>)";
        page_ += heading;
        page_ += "</strong></font></td>";
        page_ += kCrLf;
    }
    Line("  </tr>");
}

void THtmlreport::EndTable() {
    Line("</table>");
}

void THtmlreport::Cell(std::string_view width, std::string_view value) {
    page_ += R"(    <td width=")";
    page_ += width;
    page_ += R"(%">)";
    AppendHtmlText(page_, value);
    page_ += "</td>";
    page_ += kCrLf;
}

void THtmlreport::BeginSetTable() {
    BeginTable({{"Set", "10"}, {"Set full name", "90"}});
}

void THtmlreport::AddSetRow(std::string_view setName, std::string_view setDescription) {
    Line("  <tr>");
    Cell("10", setName);
    Cell("90", setDescription);
    Line("  </tr>");
    ++recordCount_;
}

void THtmlreport::BeginCloneTable() {
    BeginTable({{"Clone", "10"}, {"Clone full name", "40"}, {"Set", "10"}, {"Set full name", "40"}});
}

void THtmlreport::AddCloneRow(std::string_view cloneName, std::string_view cloneDescription,
                              std::string_view setDescription, std::string_view setName) {
    Line("  <tr>");
    Cell("10", cloneName);
    Cell("40", cloneDescription);
    Cell("10", setName);
    Cell("40", setDescription);
    Line("  </tr>");
    ++recordCount_;
}

void THtmlreport::BeginRomTable() {
    BeginTable({{"Crc", "10"},
                {"Rom", "14"},
                {"Used in clone", "10"},
                {"Clone full name", "28"},
                {"Set", "10"},
                {"Set full name", "28"}});
}

void THtmlreport::AddRomRow(std::string_view crc, std::string_view romName, std::string_view cloneName,
                            std::string_view cloneDescription, std::string_view setName,
                            std::string_view setDescription) {
    Line("  <tr>");
    Cell("10", crc);
    Cell("14", romName);
    Cell("10", cloneName);
    Cell("28", cloneDescription);
    Cell("10", setName);
    Cell("28", setDescription);
    Line("  </tr>");
    ++recordCount_;
}

void THtmlreport::AddStatistics(const TReportStatistics& counts) {
    using L = LegendImages;
    auto group = [this](std::string_view word, const std::vector<StatisticsCategory>& categories, bool roms) {
        std::int64_t total = 0;
        for (const StatisticsCategory& category : categories) {
            total += category.Count;
        }
        Line(R"(<p align="center"><strong><font color="#000080"><big><big>)" + std::string(word) + " (" +
             std::to_string(total) + ")</big></big></font></strong></p>");
        Line(R"(<div align="center"><center>)");
        Line(R"(<table border="0" width="80%" cellspacing="0" cellpadding="0")");
        Line(R"(style="border-left: 1px solid rgb(128,128,128); border-right: 2px solid rgb(0,0,0); )"
             R"x(border-top: 1px solid rgb(128,128,128); border-bottom: 2px solid rgb(0,0,0)")x");
        Line(R"(height="10">)");
        Line("  <tr>");
        if (total == 0) {
            // Cells of width 0% would share the bar between them and paint it in every colour:
            // an empty group shows an empty bar.
            Line(R"(    <td width="100%"></td>)");
        } else {
            for (const StatisticsCategory& category : categories) {
                Line(R"(    <td width=")" + PercentText(PercentOf(category.Count, total)) + R"(%" bgcolor=")" +
                     std::string(category.BarColour) + (roms ? R"(")" : R"(" align="left")") + "></td>");
            }
        }
        Line("  </tr>");
        Line("</table>");
        Line(R"(</center></div><div align="center"><center>)");
        Line(R"(<table border="0" width="80%">)");
        auto legend = [&](std::string_view width, const StatisticsCategory& category) {
            Line(R"(    <td width=")" + std::string(width) + R"(%"><img src=")" + std::string(category.Legend) +
                 R"(" width="10" height="10")");
            Line("    > " + std::string(category.Label) + " : " + std::to_string(category.Count) + " (" +
                 PercentText(PercentOf(category.Count, total)) + " %)</td>");
        };
        // The first legend row pairs green with red, the second the other colours.
        if (roms) {
            Line("  <tr>");
            legend("35", categories[0]);
            legend("65", categories[1]);
            Line("  </tr>");
            Line("  <tr>");
            Line(R"(    <td width="35%"></td>)");
            legend("65", categories[2]);
            Line("  </tr>");
        } else {
            Line("  <tr>");
            legend("35", categories[0]);
            legend("65", categories[2]);
            Line("  </tr>");
            Line("  <tr>");
            legend("35", categories[1]);
            legend("65", categories[3]);
            Line("  </tr>");
        }
        Line("</table>");
        Line("</center></div>");
    };
    group("Sets",
          {{"Full", counts.SetsFull, "#80FF80", L::Green},
           {"Partial", counts.SetsPartial, "#FFCC66", L::Yellow},
           {"Empty", counts.SetsEmpty, "#FF8080", L::Red},
           {"No good dump known", counts.SetsNoGoodDump, "#C0C0C0", L::Grey}},
          false);
    Line(R"(<hr width="80%" color="#000080">)");
    group("clones",
          {{"Full", counts.ClonesFull, "#80FF80", L::Green},
           {"Partial", counts.ClonesPartial, "#FFCC66", L::Yellow},
           {"Empty", counts.ClonesEmpty, "#FF8080", L::Red},
           {"No good dump known", counts.ClonesNoGoodDump, "#C0C0C0", L::Grey}},
          false);
    Line(R"(<hr width="80%" color="#000080">)");
    group("Roms",
          {{"Available", counts.RomsAvailable, "#80FF80", L::Green},
           {"Missing", counts.RomsMissing, "#FF8080", L::Red},
           {"No good dump known", counts.RomsNoGoodDump, "#C0C0C0", L::Grey}},
          true);
}

std::string THtmlreport::Footer() const {
    std::string footer;
    auto line = [&footer](std::string_view text) {
        footer += text;
        footer += kCrLf;
    };
    line("<p>&nbsp;</p>");
    if (recordCount_ != 0) {
        line(R"(<p><strong><font color="#0000A0">Number of records : )" + std::to_string(recordCount_) +
             "</font></strong></p>");
    }
    line(R"(<hr width="100%" color="#000080">)");
    line(R"(<table border="0" width="100%" bgcolor="#FFFFFF" cellspacing="0" cellpadding="0">)");
    line("  <tr>");
    line(R"(    <td width="100%" bgcolor="#FFEBBF"><p align="right"><font color="#000000"><small>Quillmark )" +
         std::string(kProgramVersion) + " keeps your arcade ROM collection right.");
    line(R"(    Written by the Quillmark developers: <a href="mailto:)" + std::string(kQuillmarkMail) + R"(">)" +
         std::string(kQuillmarkMail) + "</a></small></font></td>");
    line("  </tr>");
    line("</table>");
    line("<p>&nbsp;</p>");
    line("</body>");
    line("</html>");
    return footer;
}

std::string THtmlreport::Text() const {
    return page_ + Footer();
}

void THtmlreport::SaveToFile(const std::filesystem::path& file) const {
    const std::filesystem::path folder = file.parent_path();
    for (const ReportImage& image : kReportImages) {
        WriteFileAtomic(folder / image.FileName, EncodeJpeg(DrawReportImage(image)));
    }
    const std::string footer = Footer();
    WritePiecesAtomic(file, {page_, footer});
}

std::string_view HtmlReportTitleSuffix(HtmlReportKind kind) {
    switch (kind) {
        case HtmlReportKind::CompleteSets:
            return " complete sets";
        case HtmlReportKind::IncompleteSets:
            return " incomplete sets";
        case HtmlReportKind::EmptySets:
            return " empty sets";
        case HtmlReportKind::CompleteClones:
            return " complete clones";
        case HtmlReportKind::IncompleteClones:
            return " incomplete clones";
        case HtmlReportKind::EmptyClones:
            return " empty clones";
        case HtmlReportKind::MissingRoms:
            return " missing roms";
        case HtmlReportKind::NoGoodDumpRoms:
            return " 'no good dump known' roms";
        case HtmlReportKind::Statistics:
            break;
    }
    return " roms statistics";
}

TReportStatistics CountReportStatistics(const TSubList& selection) {
    TReportStatistics counts;
    const TGamesList& games = selection.Games();
    std::unordered_set<const TGame*> countedSets;
    for (const SubListEntry& entry : selection) {
        const TGame& game = *entry.Clone->Game;
        if (!countedSets.insert(&game).second) {
            continue;
        }
        if (game.HasNoGoodDump) {
            ++counts.SetsNoGoodDump;
        } else if (game.Complete) {
            ++counts.SetsFull;
        } else if (game.HasPresentRom) {
            ++counts.SetsPartial;
        } else {
            ++counts.SetsEmpty;
        }
    }
    for (const SubListEntry& entry : selection) {
        const TClone& clone = *entry.Clone;
        if (clone.HasNoGoodDump) {
            ++counts.ClonesNoGoodDump;
        } else if (clone.Complete) {
            ++counts.ClonesFull;
        } else if (clone.HasPresentRom) {
            ++counts.ClonesPartial;
        } else {
            ++counts.ClonesEmpty;
        }
    }
    for (const SubListEntry& entry : selection) {
        for (const TRomEntry& rom : entry.Clone->Roms) {
            if (games.CountsPresent(*rom.Rom)) {
                ++counts.RomsAvailable;
            } else if (rom.Rom->Crc == kNoGoodDumpCrc) {
                ++counts.RomsNoGoodDump;
            } else {
                ++counts.RomsMissing;
            }
        }
    }
    return counts;
}

THtmlreport BuildHtmlReport(HtmlReportKind kind, const TSubList& selection, std::string_view refName,
                            std::string_view date) {
    THtmlreport page(std::string(refName) + std::string(HtmlReportTitleSuffix(kind)), date);
    const TGamesList& games = selection.Games();

    // Set reports list each set once, in the order of its first selected clone.
    auto setTable = [&](auto wanted) {
        page.BeginSetTable();
        std::unordered_set<const TGame*> written;
        for (const SubListEntry& entry : selection) {
            const TGame& game = *entry.Clone->Game;
            if (wanted(game) && written.insert(&game).second) {
                page.AddSetRow(game.Name, game.Description);
            }
        }
        page.EndSetTable();
    };
    auto cloneTable = [&](auto wanted) {
        page.BeginCloneTable();
        for (const SubListEntry& entry : selection) {
            const TClone& clone = *entry.Clone;
            const TGame& game = *clone.Game;
            if (wanted(game, clone)) {
                page.AddCloneRow(clone.Name, clone.Description, game.Description, game.Name);
            }
        }
        page.EndCloneTable();
    };
    // One row per matching entry of each matching clone, in the clone's ROM order; a ROM shared
    // by several selected clones is listed once for each.
    auto romTable = [&](auto wantedClone, auto wantedRom) {
        page.BeginRomTable();
        for (const SubListEntry& entry : selection) {
            const TClone& clone = *entry.Clone;
            const TGame& game = *clone.Game;
            if (!wantedClone(game, clone)) {
                continue;
            }
            for (const TRomEntry& rom : clone.Roms) {
                if (wantedRom(*rom.Rom)) {
                    page.AddRomRow(rom.Rom->Crc, rom.Name, clone.Name, clone.Description, game.Name, game.Description);
                }
            }
        }
        page.EndRomTable();
    };

    switch (kind) {
        case HtmlReportKind::CompleteSets:
            setTable([](const TGame& g) { return g.Complete; });
            break;
        case HtmlReportKind::IncompleteSets:
            setTable([](const TGame& g) { return g.HasPresentRom && !g.Complete; });
            break;
        case HtmlReportKind::EmptySets:
            setTable([](const TGame& g) { return !g.HasPresentRom; });
            break;
        case HtmlReportKind::CompleteClones:
            cloneTable([](const TGame& g, const TClone& c) { return g.HasCompleteClone && c.Complete; });
            break;
        case HtmlReportKind::IncompleteClones:
            cloneTable([](const TGame& g, const TClone& c) { return !g.Complete && !c.Complete && c.HasPresentRom; });
            break;
        case HtmlReportKind::EmptyClones:
            cloneTable([](const TGame& g, const TClone& c) { return !g.Complete && !c.HasPresentRom; });
            break;
        case HtmlReportKind::MissingRoms:
            romTable([](const TGame& g, const TClone& c) { return !g.Complete && !c.Complete; },
                     [&games](const TRom& r) { return !games.CountsPresent(r) && !r.NoGoodDump; });
            break;
        case HtmlReportKind::NoGoodDumpRoms:
            romTable([](const TGame&, const TClone& c) { return c.HasNoGoodDump; },
                     [](const TRom& r) { return r.NoGoodDump; });
            break;
        case HtmlReportKind::Statistics:
            page.AddStatistics(CountReportStatistics(selection));
            break;
    }
    return page;
}

HtmlReportOutcome WriteHtmlReport(HtmlReportKind kind, const TSubList& selection, std::string_view refName,
                                  const std::filesystem::path& folder) {
    const THtmlreport page = BuildHtmlReport(kind, selection, refName);
    HtmlReportOutcome outcome;
    outcome.File = folder / kHtmlReportFileName;
    outcome.Records = page.RecordCount();
    page.SaveToFile(outcome.File);
    return outcome;
}

bool ConfirmShowingHtmlReport(HtmlReportKind kind, const HtmlReportOutcome& outcome, UserPrompts& prompts) {
    if (kind != HtmlReportKind::MissingRoms || outcome.Records <= kRowsShownWithoutAsking) {
        return true;
    }
    return prompts.Ask(MessageKind::Information,
                       "There are " + std::to_string(outcome.Records) + " records to display ! Continue ?");
}

}  // namespace qm

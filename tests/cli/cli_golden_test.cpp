// What quillmark-cli prints, and the report.txt it writes, for a fixed series of commands on two
// collections: the demo and one made to show every kind of report line. The outputs are kept
// under tests/golden/; a change of the engine's shape must leave them byte for byte as they are.
// QM_GOLDEN_UPDATE=1 writes the files anew from the current program (then review the diff).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/DemoCollection.h"
#include "support/TestSupport.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::ForgeCrc;
using test::MakeZip;
using test::RomLine;
using test::RunCliCommand;

// The terminal progress line (drawn only when standard error is a terminal) is no output.
std::string WithoutProgress(const std::string& text) {
    static const std::string kClear = "\r\033[K";
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t clear = text.find(kClear, pos);
        if (clear == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        out += text.substr(pos, clear - pos);
        const std::size_t start = clear + kClear.size();
        const std::size_t nextClear = text.find(kClear, start);
        const std::size_t newline = text.find('\n', start);
        if (newline != std::string::npos && (nextClear == std::string::npos || newline < nextClear)) {
            pos = start;  // a line of its own after the progress line was cleared
        } else {
            pos = nextClear == std::string::npos ? text.size() : nextClear;
        }
    }
    return out;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size())) {
        text.replace(pos, from.size(), to);
    }
    return text;
}

// Records commands and their outputs, with the test's folder shown as <ROOT>.
class Transcript {
public:
    explicit Transcript(fs::path root) : root_(std::move(root)) {}

    CliRun Run(const std::vector<std::string>& args) {
        CliRun run = RunCliCommand(args);
        text_ += "$ quillmark-cli";
        for (const std::string& arg : args) {
            text_ += " " + Normal(arg);
        }
        text_ += "\n[exit " + std::to_string(run.Status) + "]\n--- out\n" + Normal(run.Out) + "--- err\n" +
                 Normal(WithoutProgress(run.Err));
        return run;
    }

    // The report file, byte for byte (line ends shown).
    void File(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        text_ += "--- " + Normal(file.string()) + "\n" + Replace(Normal(bytes.str()), "\r\n", "<CR>\n");
    }

    // Compares with tests/golden/<name>, or writes it with QM_GOLDEN_UPDATE=1.
    void Check(const std::string& name) const {
        const fs::path golden = fs::path(QM_SOURCE_DIR) / "tests/golden" / name;
        const char* update = std::getenv("QM_GOLDEN_UPDATE");
        if (update != nullptr && std::string(update) == "1") {
            fs::create_directories(golden.parent_path());
            std::ofstream(golden, std::ios::binary) << text_;
            return;
        }
        std::ifstream in(golden, std::ios::binary);
        ASSERT_TRUE(in) << "no golden file " << golden;
        std::ostringstream expected;
        expected << in.rdbuf();
        EXPECT_EQ(text_, expected.str()) << "differs from " << golden;
    }

private:
    // The test's folder shown as <ROOT>, and the underlines of the report's headers as long as
    // the headers are then (in the text and in JSON strings alike).
    std::string Normal(const std::string& text) const {
        const std::string root = root_.string();
        const std::size_t shown = std::string_view("<ROOT>").size();
        std::string out;
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t run = text.find_first_not_of('=', pos);
            const std::size_t length = (run == std::string::npos ? text.size() : run) - pos;
            if (length == 0) {
                out += text[pos++];
            } else {
                out.append(length > root.size() ? length - root.size() + shown : length, '=');
                pos += length;
            }
        }
        return Replace(out, root, "<ROOT>");
    }

    fs::path root_;
    std::string text_;
};

using CliGoldenDemoTest = test::DemoCollectionTest;

TEST_F(CliGoldenDemoTest, DemoCommandsPrintWhatTheyAlwaysPrinted) {
    Transcript t(Root());
    const fs::path report = Root() / "cache/quillmark/report.txt";
    t.Run({"profiles"});
    t.Run({"info"});
    t.Run({"paths", "list"});
    t.Run({"scan"});
    t.Run({"scan", "--json"});
    t.Run({"status", "--clones"});
    t.Run({"status", "--sets", "--json"});
    t.Run({"audit", "--refresh"});
    t.File(report);
    t.Run({"audit", "--correct-names", "--correct-roms", "--no-good-dump"});
    t.File(report);
    t.Run({"audit", "--split", "--correct-names", "--correct-roms", "--no-good-dump"});
    t.Run({"audit", "--json"});
    t.Run({"audit", "--refresh", "--corrupted=move:" + (Root() / "bad").string()});
    t.File(report);
    t.Check("demo.txt");
}

// A collection showing every kind of report line: wrong, taken, read-only and duplicated archive
// names, archives no set stands for, entries with wrong and second names, duplicated, not needed,
// unknown, needed elsewhere (plainly, without a good dump, complemented), corrupt archives.
class CliGoldenLinesTest : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        const std::vector<std::string> lines = {
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a1.bin", "a1000001", "N", "O", "4"),
            RomLine("alpha", "Alpha", "alpha", "Alpha", "a2.bin", "a2000002", "N", "O", "4"),
            RomLine("alpha", "Alpha", "alpha", "Alpha", "shared.bin", "5a000005", "N", "O", "4"),
            RomLine("alpha", "Alpha", "alphaj", "Alpha (Japan)", "a1j.bin", "a1100001", "N", "O", "4"),
            RomLine("alpha", "Alpha", "alphaj", "Alpha (Japan)", "a2.bin", "a2000002", "N", "N", "4"),
            RomLine("alpha", "Alpha", "alphaj", "Alpha (Japan)", "shared.bin", "5a000005", "N", "N", "4"),
            RomLine("beta", "Beta", "beta", "Beta", "b1.bin", "b1000001", "N", "O", "4"),
            RomLine("beta", "Beta", "beta", "Beta", "b2.bin", "b2000002", "N", "O", "4"),
            RomLine("beta", "Beta", "beta", "Beta", "b2copy.bin", "b2000002", "N", "O", "4"),
            RomLine("beta", "Beta", "beta", "Beta", "shared.bin", "5a000005", "N", "O", "4"),
            RomLine("delta", "Delta", "delta", "Delta", "d1.bin", "d1000001", "N", "O", "4"),
            RomLine("gamma", "Gamma", "gamma", "Gamma", "g1.bin", "61000001", "N", "O", "4"),
            RomLine("gamma", "Gamma", "gamma", "Gamma", "g2.bin", "00000000", "N", "O", "4"),
            RomLine("gamma", "Gamma", "gamma", "Gamma", "g3.bin", "63000003", "N", "O", "4"),
            RomLine("gamma", "Gamma", "gammab", "Gamma (B)", "g1b.bin", "61100001", "N", "O", "4"),
            RomLine("gamma", "Gamma", "gammab", "Gamma (B)", "g2.bin", "00000000", "N", "O", "4"),
            RomLine("gamma", "Gamma", "gammab", "Gamma (B)", "g3.bin", "63000003", "N", "N", "4"),
            RomLine("omega", "Omega", "omega", "Omega", "o1.bin", "0f000001", "N", "O", "4"),
            RomLine("omega", "Omega", "omega", "Omega", "o3.bin", "63000003", "N", "O", "4"),
            RomLine("zeta", "Zeta", "zeta", "Zeta", "snd.bin", "5a000005", "N", "O", "4"),
            RomLine("zeta", "Zeta", "zeta", "Zeta", "z1.bin", "2e000001", "N", "O", "4"),
        };
        std::string romPaths;
        for (const char* dir : {"roms", "more", "cdrom"}) {
            fs::create_directories(Root() / dir);
            romPaths += (Root() / dir).string() + "/;";
        }
        WriteFile("datas/lines.dat", test::Datafile(lines, "mame", romPaths));
        ::setenv("QUILLMARK_TEST_READONLY_DIRS", (Root() / "cdrom").c_str(), 1);

        const fs::path roms = Root() / "roms";
        MakeZip(roms / "alpha.zip", {{"a1.bin", ForgeCrc("a1000001")},
                                     {"a2.bin", ForgeCrc("a2000002")},
                                     {"a2dup.bin", ForgeCrc("a2000002")},
                                     {"shared.bin", ForgeCrc("5a000005")},
                                     {"b1.bin", ForgeCrc("b1000001")},
                                     {"extra.txt", "a stray text file\n"}});
        MakeZip(roms / "beta.zip", {{"b1_old.bin", ForgeCrc("b1000001")}, {"b2.bin", ForgeCrc("b2000002")}});
        // g2.bin is empty (CRC 00000000, a ROM without a good dump); g3.bin is g3's known bad dump.
        MakeZip(roms / "gamma.zip",
                {{"g1.bin", ForgeCrc("61000001")}, {"g2.bin", ""}, {"g3.bin", ForgeCrc("9cfffffc")}});
        MakeZip(roms / "dlt.zip", {{"d1.bin", ForgeCrc("d1000001")}});
        MakeZip(roms / "delta.zip", {{"d1.bin", ForgeCrc("d1000001")}});
        MakeZip(roms / "zzz.zip", {{"junk.bin", "junk"}});
        WriteBroken();
        MakeZip(
            Root() / "more/alpha.zip",
            {{"a1.bin", ForgeCrc("a1000001")}, {"a2.bin", ForgeCrc("a2000002")}, {"shared.bin", ForgeCrc("5a000005")}});
        MakeZip(Root() / "more/beta2.zip", {{"b2.bin", ForgeCrc("b2000002")}});
        MakeZip(Root() / "cdrom/Omega.zip", {{"o1.bin", ForgeCrc("0f000001")}});
        ASSERT_EQ(RunCliCommand({"use", "lines"}).Status, 0);
    }

    void WriteBroken() const {
        WriteFile("roms/broken.zip", std::string("PK\x03\x04 cut short") + std::string(40, '\0'));
    }
};

TEST_F(CliGoldenLinesTest, EveryKindOfReportLineIsPrintedAsItAlwaysWas) {
    Transcript t(Root());
    const fs::path report = Root() / "cache/quillmark/report.txt";
    t.Run({"scan"});
    t.Run({"status", "--clones"});
    t.Run({"audit"});
    t.File(report);
    t.Run({"audit", "--correct-names", "--correct-roms", "--no-good-dump"});
    t.File(report);
    t.Run({"audit", "--split", "--correct-names", "--correct-roms", "--no-good-dump"});
    t.File(report);
    t.Run({"audit", "--no-bad-zip-names", "--no-good-dump", "--split"});
    t.Run({"audit", "--no-bad-rom-names", "--no-needed-elsewhere", "--no-not-needed"});
    t.Run({"audit", "--json", "--no-good-dump"});
    t.Run({"audit", "--quiet", "--no-unknown"});
    t.File(report);
    t.Run({"audit", "--refresh", "--corrupted=move:" + (Root() / "bad").string()});
    WriteBroken();
    t.Run({"audit", "--refresh", "--corrupted=delete", "--no-bad-zip-names"});
    t.Run({"scan"});
    t.Check("lines.txt");
}

}  // namespace
}  // namespace qm

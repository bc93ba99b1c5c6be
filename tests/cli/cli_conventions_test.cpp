// What every verb of quillmark-cli shares: help texts, exit statuses, the --json object and its
// error object, problems said once on standard error, and the bash completion installed with it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

#include "cli/Cli.h"
#include "support/ChildProcess.h"
#include "support/DemoCollection.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using test::RunCliCommand;

using CliConventionsTest = test::DemoCollectionTest;

// What a shell command printed on its standard output, and its exit status.
std::pair<int, std::string> Shell(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {-1, ""};
    }
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) {
        out.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// The keys of the one JSON object `text` holds (a JSON parser reads it), "invalid" when it is
// not exactly one object; with `path`, the keys of the object found there ("error", ...).
std::string JsonKeys(const fs::path& scratch, const std::string& text, const std::string& path = "") {
    const fs::path file = scratch / "printed.json";
    { std::ofstream(file, std::ios::binary) << text; }
    const std::string script =
        "import json,sys\n"
        "try:\n"
        "    d = json.load(open(sys.argv[1]))\n"
        "    for p in filter(None, sys.argv[2].split('/')): d = d[p]\n"
        "    print(','.join(sorted(d.keys())))\n"
        "except Exception:\n"
        "    print('invalid')\n";
    return Shell("python3 -c " + Quoted(script) + " " + Quoted(file.string()) + " " + Quoted(path)).second;
}

std::string Keys(std::initializer_list<const char*> keys) {
    std::set<std::string> sorted(keys.begin(), keys.end());
    std::string out;
    for (const std::string& key : sorted) {
        out += (out.empty() ? "" : ",") + key;
    }
    return out + "\n";
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

TEST_F(CliConventionsTest, HelpVersionAndUsageErrorsThroughTheProgram) {
    auto run = test::RunCliProcess(Root(), {"--version"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, std::string("quillmark-cli ") + kProgramVersion + "\n");

    // Every verb has its help, reached both ways, on standard output.
    const auto verbs = Shell(std::string(QM_CLI_PATH) + " __complete verbs");
    ASSERT_EQ(verbs.first, 0);
    std::istringstream lines(verbs.second);
    int seen = 0;
    for (std::string verb; std::getline(lines, verb);) {
        if (verb == "help") {
            continue;
        }
        ++seen;
        const auto asked = RunCliCommand({"help", verb});
        EXPECT_EQ(asked.Status, 0) << verb;
        EXPECT_TRUE(asked.Out.starts_with("Usage: quillmark-cli " + verb)) << asked.Out;
        EXPECT_EQ(RunCliCommand({verb, "--help"}).Out, asked.Out) << verb;
    }
    EXPECT_GE(seen, 15);
    EXPECT_NE(RunCliCommand({"help", "audit"}).Out.find("Exit status: 0 success; 1 failure; 2 "), std::string::npos);

    // A command line that cannot be run names what is wrong and exits 2.
    run = test::RunCliProcess(Root(), {"frobnicate"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("unknown verb 'frobnicate'"), std::string::npos) << run.Err;
    run = test::RunCliProcess(Root(), {"scan", "--bogus"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("scan: unknown option --bogus"), std::string::npos) << run.Err;
    run = test::RunCliProcess(Root(), {"help", "bogus"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("unknown verb 'bogus'"), std::string::npos) << run.Err;
    run = test::RunCliProcess(Root(), {"use"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_NE(run.Err.find("usage: quillmark-cli use NAME"), std::string::npos) << run.Err;
    EXPECT_EQ(RunCliCommand({"status", "--sets", "--clones"}).Status, 2);
    EXPECT_EQ(RunCliCommand({"audit", "--corrupted=sideways"}).Status, 2);
    EXPECT_EQ(RunCliCommand({"missing", "--fixdat"}).Status, 2);
    EXPECT_EQ(RunCliCommand({"zip", "show", "x.zip"}).Status, 2);
    // Under --json the refusal is the error object.
    run = test::RunCliProcess(Root(), {"--json", "scan", "--bogus"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(JsonKeys(Root(), run.Out, "error"), "file,message\n") << run.Out;
    run = test::RunCliProcess(Root(), {"--json"});
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(JsonKeys(Root(), run.Out), "error\n") << run.Out;
    EXPECT_NE(run.Err.find("Usage: quillmark-cli"), std::string::npos) << run.Err;

    // A failure exits 1; a profile that is not there, under --json, is one error object.
    run = test::RunCliProcess(Root(), {"--json", "use", "nosuch"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(JsonKeys(Root(), run.Out), "error\n") << run.Out;
    EXPECT_NE(run.Out.find("\"file\": null"), std::string::npos) << run.Out;
    EXPECT_NE(run.Err.find("no profile \"nosuch\""), std::string::npos) << run.Err;
    // An error about a file names it.
    run = test::RunCliProcess(Root(), {"--json", "missing", "--fixdat", (Root() / "no/such/dir/fix.dat").string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(JsonKeys(Root(), run.Out, "error"), "file,message\n") << run.Out;
    EXPECT_NE(run.Out.find("\"file\": \"" + (Root() / "no/such/dir").string()), std::string::npos) << run.Out;
}

TEST_F(CliConventionsTest, EveryVerbPrintsOneJsonObjectWithItsKeys) {
    const std::string roms = (DataDir() / "roms").string();
    const std::string counts =
        "clones,clones_complete,clones_empty,clones_incomplete,roms,sets,sets_complete,sets_empty,sets_incomplete,"
        "sets_with_archive";
    auto keys = [&](const std::vector<std::string>& args) {
        std::vector<std::string> withJson = args;
        withJson.insert(withJson.begin(), "--json");
        const auto run = RunCliCommand(withJson);
        EXPECT_TRUE(run.Status == 0 || run.Status == 3) << args[0] << ": " << run.Err;
        return JsonKeys(Root(), run.Out);
    };
    EXPECT_EQ(keys({"profiles"}), Keys({"current", "data_dir", "profiles"}));
    EXPECT_EQ(keys({"use", "demo"}), Keys({"current", "datafile"}));
    EXPECT_EQ(keys({"info"}),
              "clones,clones_complete,clones_empty,clones_incomplete,datafile,emulator_version,exe,profile,refname,"
              "rom_paths,roms,runcmd,sets,sets_complete,sets_empty,sets_incomplete,sets_with_archive,"
              "skipped_lines\n");
    EXPECT_EQ(keys({"scan"}), "archives,cache_writes_failed," + counts.substr(0, counts.find(",roms")) +
                                  ",directories_scanned,entries,problems,profile,rom_paths," +
                                  counts.substr(counts.find("roms,")) + "\n");
    EXPECT_EQ(keys({"status"}), Keys({"items", "level", "profile"}));
    EXPECT_EQ(keys({"paths"}), Keys({"directories", "profile", "rom_paths"}));
    EXPECT_EQ(keys({"audit"}),
              Keys({"failed_operations", "findings", "lines", "problems", "profile", "report_file", "summary"}));
    EXPECT_EQ(keys({"missing"}), Keys({"clone_count", "clones", "fixdat", "profile", "rom_count"}));
    EXPECT_EQ(keys({"report", "statistics"}), Keys({"file", "opened", "records", "report"}));
    EXPECT_EQ(keys({"zip", "list", roms + "/gemquest.zip"}), "archives\n");
    EXPECT_EQ(keys({"crc", roms + "/gemquest.zip"}), "files\n");
    EXPECT_EQ(keys({"export-neogeo", (Root() / "ng").string(), "--copy", "--yes"}),
              Keys({"cancelled", "copied", "destination", "moved", "skipped"}));
    fs::create_directories(Root() / "cd");
    EXPECT_EQ(
        keys({"update-cd", (Root() / "cd").string(), (Root() / "cd2").string(), "--yes"}),
        Keys({"cancelled", "created", "destination", "files_updated", "problems", "processed", "source", "updated"}));
    EXPECT_EQ(keys({"--version"}), Keys({"program", "version"}));

    // The audit's summary counts its findings by kind, beside the problems.
    auto run = RunCliCommand({"--json", "audit"});
    EXPECT_EQ(run.Status, 3);
    EXPECT_EQ(JsonKeys(Root(), run.Out, "summary"), Keys({"no_good_name", "problems", "right_name", "unknown"}));
}

TEST_F(CliConventionsTest, AProblemIsSaidOnceOnStandardErrorAndAnAuditWithFindingsExitsThree) {
    const std::string broken = "broken.zip\": This archive is not a valid Zip archive";
    // The profile's scan, the audit's fresh scan and its closing rescan all meet the archive.
    auto run = test::RunCliProcess(Root(), {"audit", "--refresh"});
    EXPECT_EQ(run.Status, 3);
    EXPECT_EQ(Count(run.Err, broken), 1u) << run.Err;
    EXPECT_EQ(Count(run.Out, broken), 0u) << run.Out;
    // What the handling of a corrupted archive adds to it.
    EXPECT_NE(run.Err.find("broken.zip\": This archive is not a valid Zip archive\n***** File ignored\n"),
              std::string::npos)
        << run.Err;
    // The report stays as it is; the summary follows it.
    EXPECT_NE(run.Out.find("------------ end of report\n\nSummary:\n"
                           "  archives with a wrong name: 1\n"
                           "  archives of no known set: 1\n"
                           "  unknown ROMs: 1\n"
                           "  problem lines (on standard error): 2\n"),
              std::string::npos)
        << run.Out;
    run = test::RunCliProcess(Root(), {"--json", "audit", "--refresh"});
    EXPECT_EQ(Count(run.Out, "broken.zip\\\": This archive"), 1u) << run.Out;  // in "problems"
    EXPECT_EQ(JsonKeys(Root(), run.Out, "summary"), Keys({"no_good_name", "problems", "right_name", "unknown"}));
    EXPECT_EQ(Count(run.Err, broken), 1u) << run.Err;

    run = test::RunCliProcess(Root(), {"scan"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(Count(run.Err, broken), 1u) << run.Err;
    EXPECT_EQ(Count(run.Out, broken), 0u) << run.Out;
    // "Complete" counts sets that need no ROM: how many have an archive says the rest.
    EXPECT_NE(run.Out.find("Sets:   7 (complete 4, incomplete 2, empty 1; 4 with an archive)\n"), std::string::npos)
        << run.Out;

    // Chosen sets that are right: nothing to report, whatever else the collection holds.
    run = test::RunCliProcess(Root(), {"audit", "calcdesk"});
    EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_NE(run.Out.find("Nothing to report !\n\n------------ end of report\n\nSummary: nothing to report\n"),
              std::string::npos)
        << run.Out;
}

TEST_F(CliConventionsTest, StatusAndAuditTakeSetNamesAndWildcards) {
    auto run = RunCliCommand({"status", "--clones", "moon*"});
    EXPECT_EQ(run.Out, "moonrace moonrace complete\nmoonracea moonrace incomplete nogooddump\n");
    // A clone's name shows its set; a set's name shows its clones.
    EXPECT_EQ(RunCliCommand({"status", "MOONRACEA"}).Out, "moonrace incomplete nogooddump\n");
    EXPECT_EQ(RunCliCommand({"status", "--clones", "moonrace", "--complete"}).Out, "moonrace moonrace complete\n");
    EXPECT_EQ(RunCliCommand({"status", "p?xel[a-p]op", "calcdesk"}).Out, "calcdesk complete\npixelpop incomplete\n");
    run = RunCliCommand({"status", "moonrace", "nosuch", "zz*"});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("no set or clone of demo is named \"nosuch\", \"zz*\""), std::string::npos) << run.Err;

    // The report of chosen sets holds their archives only, under their name or their right one;
    // report.txt says the same.
    run = RunCliCommand({"audit", "starblas"});
    EXPECT_EQ(run.Status, 3);
    EXPECT_TRUE(run.Out.starts_with("starblaster.zip : Right name is starblas.zip\n\n------------ end of report\n"))
        << run.Out;
    EXPECT_EQ(ReadFile(Root() / "cache/quillmark/report.txt"),
              "starblaster.zip : Right name is starblas.zip\r\n\r\n------------ end of report\r\n");
    EXPECT_EQ(RunCliCommand({"audit", "starblas", "--corrupted=delete"}).Status, 2);
}

TEST_F(CliConventionsTest, PathsSayWhereEachDirectoryComesFromAndAddOnlyWhatExists) {
    const std::string roms = (DataDir() / "roms").string() + "/";
    auto run = RunCliCommand({"paths", "list"});
    EXPECT_EQ(run.Out, roms + "  (a default: the profile names no directory)\n" + DataDir().string() +
                           "/  (a default: the profile names no directory)\n");
    const std::string before = ReadFile(DataDir() / "demo.dat");
    run = RunCliCommand({"paths", "add", (Root() / "nowhere").string()});
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find((Root() / "nowhere").string() + "/ does not exist"), std::string::npos) << run.Err;
    EXPECT_EQ(ReadFile(DataDir() / "demo.dat"), before);

    fs::create_directories(Root() / "more");
    run = RunCliCommand({"--json", "paths", "add", (Root() / "more").string()});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("{\"path\": \"" + (Root() / "more").string() + "/\", \"origin\": \"profile\"}"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(RunCliCommand({"paths"}).Out.find(roms + "  (from the profile)\n"), std::string::npos);
}

TEST_F(CliConventionsTest, MessagesForTheWindowsReadAsCommandLineOnes) {
    EXPECT_EQ(
        ForCommandLine("Quillmark base directory will be used.\nYou can change it in options window."),
        "Quillmark base directory will be used.\nYou can add a writable one with \"quillmark-cli paths add DIR\".");
    EXPECT_EQ(ForCommandLine("No roms list loaded. Choose a new emulator from the main window."),
              "No roms list loaded. Choose a profile with \"quillmark-cli use NAME\".");
}

TEST_F(CliConventionsTest, BashCompletionInstalledWithTheProgramCompletesVerbsOptionsAndProfiles) {
    // Installed beside the program, where bash-completion looks for it.
    const fs::path build = fs::path(QM_CLI_PATH).parent_path().parent_path();
    const fs::path prefix = Root() / "prefix";
    ASSERT_EQ(
        Shell("cmake --install " + Quoted(build.string()) + " --prefix " + Quoted(prefix.string()) + " >/dev/null 2>&1")
            .first,
        0);
    const fs::path script = prefix / "share/bash-completion/completions/quillmark-cli";
    ASSERT_TRUE(fs::exists(script));
    ASSERT_TRUE(fs::exists(prefix / "bin/quillmark-cli"));

    // What the completion function offers for a command line, the cursor at its end.
    auto complete = [&](const std::string& line) {
        const std::string command = "source " + Quoted(script.string()) + "; COMP_WORDS=(" + line +
                                    "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); "
                                    "_quillmark_cli; printf '%s\\n' \"${COMPREPLY[@]}\"";
        return Shell("bash -c " + Quoted(command)).second;
    };
    const std::string cli = Quoted((prefix / "bin/quillmark-cli").string());
    EXPECT_EQ(complete(cli + " au"), "audit\n");
    EXPECT_EQ(complete(cli + " he"), "help\n");
    EXPECT_EQ(complete(cli + " audit --ref"), "--refresh\n");
    EXPECT_EQ(complete(cli + " missing --fi"), "--fixdat\n");
    EXPECT_EQ(complete(cli + " use de"), "demo\n");
    EXPECT_EQ(complete(cli + " scan --profile d"), "demo\n");
    EXPECT_EQ(complete(cli + " report st"), "statistics\n");
    EXPECT_EQ(complete(cli + " paths a"), "add\n");
    EXPECT_EQ(complete(cli + " --data-dir " + Quoted(Root().string()) + " use de"), "\n");  // no profile there
}

}  // namespace
}  // namespace qm

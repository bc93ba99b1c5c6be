#include "cli/Cli.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <string_view>
#include <utility>

#include "cli/Json.h"
#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            if (!out.empty() && out.back() != ' ') {
                out += ' ';
            }
            continue;
        }
        out += c;
    }
    return DisplayText(out);
}

namespace {

struct VerbSpec {
    const char* Name;
    const char* Usage;
    const char* Summary;
    std::set<std::string> Options;  // besides the global ones; those in kValueOptions take a value
    std::function<int(CliContext&)> Run;
};

// Options every verb takes, and the options that take a value (--name VALUE or --name=VALUE).
const std::set<std::string> kGlobalOptions = {"data-dir", "json", "yes", "help", "version"};
const std::set<std::string> kValueOptions = {"data-dir", "profile", "corrupted", "name", "refname", "fixdat"};

const std::vector<VerbSpec>& Verbs() {
    static const std::vector<VerbSpec> verbs = {
        {"profiles",
         "profiles [add FILE.dat [--name NAME] | remove NAME]",
         "list the profiles (datafiles) of the data directory, * marking the current one; add a datafile in "
         "Quillmark's format as profile NAME (default: its file name) and make it current; remove a profile (its "
         "datafile goes to the Trash; asks, --yes confirms)",
         {"name"},
         VerbProfiles},
        {"use", "use NAME", "make profile NAME (with or without .dat) the current one", {}, VerbUse},
        {"import-emulator",
         "import-emulator mame|raine EXE [--name NAME]",
         "check the emulator (its version from -help), build profile NAME (default Mame or Raine) from its game "
         "listing (-listinfo; -listxml for a MAME that no longer knows -listinfo) and make it current; Ctrl-C "
         "cancels",
         {"name"},
         VerbImportEmulator},
        {"import-dat",
         "import-dat FILE [--name NAME] [--refname FAMILY]",
         "build profile NAME (default: the file's name) from a downloaded datafile, Logiqx XML or clrmamepro text, "
         "plain, .gz or .zip, and make it current; --refname sets the emulator family (default mame for MAME's "
         "listings)",
         {"name", "refname"},
         VerbImportDat},
        {"info",
         "info [--profile NAME]",
         "load a profile, scan its collection from the caches and print its header, ROM directories and counts "
         "(with the number of sets that have an archive: \"complete\" also counts the sets that need no ROM)",
         {"profile"},
         VerbInfo},
        {"scan",
         "scan [--profile NAME] [--refresh]",
         "scan the ROM directories from their caches, checked against the directories (--refresh: read every "
         "archive again, replacing the caches) and print the counts and the problems found; exit status 1 when a "
         "cache could not be written",
         {"profile", "refresh"},
         VerbScan},
        {"status",
         "status [NAME...] [--sets|--clones] [--missing|--complete|--incomplete] [--profile NAME]",
         "list the sets (or clones) with their state: complete, incomplete or empty, and the no-good-dump mark. "
         "NAMEs choose sets and clones by name or shell-style wildcard (pac*, quoted for the shell); a set "
         "shows when it or one of its clones is chosen, a clone when it or its set is. A NAME that chooses "
         "nothing is an error (exit status 1)",
         {"profile", "sets", "clones", "missing", "complete", "incomplete"},
         VerbStatus},
        {"missing",
         "missing [NAME...] [--all] [--fixdat FILE] [--profile NAME]",
         "list, per set or clone that is not complete, each ROM the collection lacks: CRC-32, size, name "
         "(ROMs of which no good dump is known are left out). Without NAMEs the clones held in part; --all "
         "adds those held not at all; NAMEs as for status. --fixdat FILE also writes them as a Logiqx XML "
         "datafile (a \"fixdat\", which other ROM tools read), the profile's name and the date in its header",
         {"profile", "all", "fixdat"},
         VerbMissing},
        {"paths",
         "paths [list|add DIR|remove DIR] [--profile NAME]",
         "show the profile's ROM directories, each with where it comes from (the profile, the emulator's "
         "configuration file, the emulator's defaults, or the base directory added for this run because "
         "none is writable), or edit them (kept in the profile's datafile). add refuses a directory that does "
         "not exist",
         {"profile"},
         VerbPaths},
        {"audit",
         "audit [NAME...] [--profile NAME] [--[no-]bad-zip-names] [--[no-]correct-names] [--[no-]correct-roms]\n"
         "        [--[no-]bad-rom-names] [--[no-]needed-elsewhere] [--[no-]not-needed] [--[no-]unknown]\n"
         "        [--[no-]no-good-dump] [--refresh] [--corrupted=ignore|move:DIR|delete] [--split] [--quiet]",
         "audit the collection and print the report (saved as report.txt in the scratch folder; --quiet prints "
         "its path only), then a summary: how many lines of each kind. NAMEs (as for status) keep the report "
         "to the archives of the sets and clones chosen. Exit status 3 when the report has anything but "
         "correct lines, or archives could not be read; 1 when a corrupted archive could not be moved or "
         "deleted. Ctrl-C cancels after the current entry (exit status 130). Report options, with their "
         "defaults: --bad-zip-names, --no-correct-names, --no-correct-roms, --bad-rom-names, "
         "--needed-elsewhere, --not-needed, --unknown, --no-no-good-dump; --refresh reads every archive first; "
         "--corrupted says what happens to archives that cannot be read (not with NAMEs unless ignore); --split: "
         "one archive per clone instead of one per set",
         AuditOptionNames(), VerbAudit},
        {"repair",
         "repair [--profile NAME] [--[no-]repair-names] [--[no-]needed-elsewhere] [--[no-]no-good-dump]\n"
         "        [--unknown=ignore|move:DIR|delete] [--corrupted=ignore|move:DIR|delete] [--split]\n"
         "        [--dry-run] [--yes [--force]]",
         "repair the collection: archives renamed to their set's name, entries renamed, copied into the sets "
         "that need them, and (--unknown) archives and entries no set needs moved to DIR or deleted; corrupted "
         "archives moved or deleted as --corrupted says. Every archive is read afresh first; each change is "
         "written to a new archive, flushed, then put in place. Deleted archives and entries go to the Trash "
         "(entries into an archive of their archive's name there), so a delete can be undone; a delete needs "
         "--yes. A repair that would delete or move more than half of the archives of a directory stops before "
         "changing anything (a wrong datafile?) unless --yes --force. Prints every action, a summary and the "
         "new counts; --dry-run prints the actions it would take, in order, and changes nothing. Ctrl-C stops "
         "after the current entry (exit status 130)",
         RepairOptionNames(), VerbRepair},
        {"report",
         "report complete-sets|incomplete-sets|empty-sets|complete-clones|incomplete-clones|empty-clones|\n"
         "        missing-roms|nogooddump-roms|statistics [--profile NAME] [--yes] [--open]",
         "write the HTML report of the selection (QuillmarkReport.htm and its images in the scratch folder) and "
         "print its path; --open shows it with xdg-open (--yes: also a missing-roms page of more than 1000 rows)",
         {"profile", "open"},
         VerbReport},
        {"export-neogeo",
         "export-neogeo DEST [--copy] [--working] [--no-replace] [--yes] [--profile NAME]",
         "move (--copy: copy) the archive of every Neo-Geo set of a MAME profile into DEST, keeping the caches "
         "of both folders true; --working: complete sets only; --no-replace: leave out archives DEST holds "
         "already. Asks before moving and before creating a missing DEST (--yes confirms); Ctrl-C stops after "
         "the current archive (exit status 130)",
         {"profile", "copy", "working", "no-replace"},
         VerbExportNeoGeo},
        {"update-cd",
         "update-cd SRC DEST [--create] [--show-delete] [--yes] [--profile NAME]",
         "update a copy of a ROM CD: each archive of SRC (only read) whose set is known is copied to DEST as "
         "SET.zip with every ROM of the set it lacks and the collection holds; archives lacking nothing are "
         "not copied, an archive already in DEST is completed. --create: also make in DEST the archive of "
         "every set the collection holds and SRC has none for (its collection archive copied, then completed); "
         "--show-delete: list the archives of SRC of no known set. Asks before creating a missing DEST (--yes "
         "confirms); Ctrl-C stops after the current archive (exit status 130)",
         {"profile", "create", "show-delete"},
         VerbUpdateCd},
        {"examine",
         "examine FILE.zip... [--new] [--profile NAME]",
         "examine zip files from anywhere (only read) against the collection: print the source report (saved as "
         "srcreport.txt in the scratch folder) and the zip content tree, a state word per node: none, some or all "
         "of the roms below are in the files (-nodump: a no-good-dump rom below); --new: only the roms the "
         "collection lacks (state new)",
         {"profile", "new"},
         VerbExamine},
        {"merge",
         "merge FILE.zip... [--yes] [--profile NAME]",
         "examine zip files from anywhere (only read) and copy each of their roms into every set archive that "
         "needs it and lacks it, under the name the set expects (asks first, --yes confirms); an entry of the "
         "needed name holding another rom is kept, renamed NAME__; an archive that cannot be read is kept as "
         "SET_bad.zip. Prints what was copied and the new counts, the problems on standard error; exit status 1 "
         "when a rom could not be copied, 130 after Ctrl-C (between archives)",
         {"profile"},
         VerbMerge},
        {"zip",
         "zip list FILE...",
         "list the entries of zip archives (CRC-32, size, name) from their central directory",
         {},
         VerbZip},
        {"crc",
         "crc FILE... [--snes|--nes]",
         "CRC-32 and size of every ROM image in the files (zip entries, or the whole file); --snes "
         "strips a copier header found from the size, --nes a 16-byte header",
         {"snes", "nes"},
         VerbCrc},
    };
    return verbs;
}

const VerbSpec* FindVerb(const std::string& name) {
    for (const VerbSpec& verb : Verbs()) {
        if (name == verb.Name) {
            return &verb;
        }
    }
    return nullptr;
}

// `text` in lines of at most `width` characters, each after `indent` blanks; explicit line
// breaks are kept.
std::string Wrapped(std::string_view text, std::size_t indent, std::size_t width = 78) {
    std::string out;
    std::string line;
    auto flush = [&] {
        out.append(indent, ' ');
        out += line;
        out += '\n';
        line.clear();
    };
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find_first_of(" \n", at), text.size());
        const std::string_view word = text.substr(at, end - at);
        if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
            flush();
        }
        if (!word.empty()) {
            line += line.empty() ? "" : " ";
            line += word;
        }
        if (end < text.size() && text[end] == '\n') {
            flush();
        }
        at = end + 1;
    }
    if (!line.empty()) {
        flush();
    }
    return out;
}

constexpr const char* kExitStatuses =
    "Exit status: 0 success; 1 failure; 2 a command line that cannot be run (unknown verb or option, "
    "missing argument); 3 an audit that ran to its end and found something to report; 130 cancelled "
    "(Ctrl-C).";

void PrintHelp(std::ostream& out) {
    out << "Usage: quillmark-cli [--data-dir DIR] [--json] [--yes] VERB [ARGS]\n"
           "       quillmark-cli help VERB   (or VERB --help): what a verb does and its options\n\n"
           "Verbs:\n";
    for (const VerbSpec& verb : Verbs()) {
        out << "  " << verb.Usage << "\n" << Wrapped(verb.Summary, 6);
    }
    out << "\nOptions of every verb:\n"
           "  --data-dir DIR   folder of the datafiles (default: $QUILLMARK_DATA_DIR, ./datas,\n"
           "                   ~/.local/share/quillmark/datas)\n"
           "  --json           print the result as one JSON object (errors as {\"error\": ...})\n"
           "  --yes            answer Yes to every confirmation\n"
           "  --help           this text, or the verb's\n"
           "  --version        the program's version\n\n"
        << Wrapped(kExitStatuses, 0);
}

void PrintVerbHelp(const VerbSpec& verb, std::ostream& out) {
    out << "Usage: quillmark-cli " << verb.Usage << "\n\n" << Wrapped(verb.Summary, 2);
    std::vector<std::string> options;
    for (const std::string& name : verb.Options) {
        options.push_back("--" + name + (kValueOptions.count(name) > 0 ? " VALUE" : ""));
    }
    if (!options.empty()) {
        std::string list;
        for (const std::string& option : options) {
            list += (list.empty() ? "" : ", ") + option;
        }
        out << "\nOptions: " << list << "\n";
    }
    out << "Options of every verb: --data-dir DIR, --json, --yes, --help\n\n" << Wrapped(kExitStatuses, 0);
}

// Words for the shell's completion (see cli/quillmark-cli.bash): the verbs, a verb's options,
// or the profiles of the data directory.
int PrintCompletionWords(const CliArgs& args, std::ostream& out, std::ostream& err) {
    const std::string what = args.Positional.empty() ? "" : args.Positional[0];
    if (what == "verbs") {
        out << "help\n";
        for (const VerbSpec& verb : Verbs()) {
            out << verb.Name << "\n";
        }
    } else if (what == "options") {
        std::set<std::string> names = kGlobalOptions;
        if (args.Positional.size() > 1) {
            if (const VerbSpec* verb = FindVerb(args.Positional[1])) {
                names.insert(verb->Options.begin(), verb->Options.end());
            }
        }
        for (const std::string& name : names) {
            out << "--" << name << "\n";
        }
    } else if (what == "reports") {
        for (const std::string& name : ReportKindNames()) {
            out << name << "\n";
        }
    } else if (what == "profiles") {
        std::optional<std::filesystem::path> dataDir;
        if (const auto dir = args.Value("data-dir")) {
            dataDir = *dir;
        }
        StreamPrompts quiet(err, false);
        TSession session(ConfigPaths::FromEnvironment(dataDir), quiet);
        for (const std::string& profile : session.Profiles()) {
            out << profile << "\n";
        }
    } else {
        return kExitUsage;
    }
    return kExitOk;
}

// {"error": {"message": ..., "file": ...}}, "file" null when the error is about no one file.
std::string JsonError(const std::string& message, const std::string& file) {
    JsonObject error;
    error.Add("message", message);
    if (file.empty()) {
        error.AddRaw("file", "null");
    } else {
        error.Add("file", file);
    }
    return JsonObject().AddRaw("error", error.Text()).Text();
}

}  // namespace

std::string ForCommandLine(const std::string& text) {
    static const std::pair<std::string_view, std::string_view> kSaid[] = {
        {"You can change it in options window.", "You can add a writable one with \"quillmark-cli paths add DIR\"."},
        {"Choose a new emulator from the main window.", "Choose a profile with \"quillmark-cli use NAME\"."},
    };
    std::string out = text;
    for (const auto& [gui, cli] : kSaid) {
        if (const std::size_t at = out.find(gui); at != std::string::npos) {
            out.replace(at, gui.size(), cli);
        }
    }
    return out;
}

void StreamPrompts::Show(MessageKind kind, const std::string& text) {
    const std::string line = OneLine(ForCommandLine(text));
    switch (kind) {
        case MessageKind::Error:
            ++errors_;
            lastError_ = line;
            err_ << "quillmark-cli: error: ";
            break;
        case MessageKind::Warning:
            err_ << "quillmark-cli: warning: ";
            break;
        default:
            err_ << "quillmark-cli: ";
            break;
    }
    err_ << line << "\n";
}

bool StreamPrompts::Ask(MessageKind, const std::string& text) {
    err_ << "quillmark-cli: " << OneLine(ForCommandLine(text))
         << (yes_ ? " yes (--yes)" : " no (give --yes to confirm)") << "\n";
    return yes_;
}

std::optional<std::string> CliArgs::Value(const std::string& name) const {
    const auto it = Options.find(name);
    if (it == Options.end()) {
        return std::nullopt;
    }
    return it->second;
}

CliContext::CliContext(CliArgs args, std::ostream& out, std::ostream& err)
    : args_(std::move(args)), out_(out), err_(err), prompts_(err, args_.Has("yes")) {}

CliContext::~CliContext() = default;

TerminalJob& CliContext::Job() {
    if (!job_) {
        job_ = std::make_unique<TerminalJob>(*this);
    }
    return *job_;
}

TSession& CliContext::Session() {
    if (!session_) {
        std::optional<std::filesystem::path> dataDir;
        if (const auto dir = args_.Value("data-dir")) {
            dataDir = *dir;
        }
        session_ = std::make_unique<TSession>(ConfigPaths::FromEnvironment(dataDir), prompts_);
        // One run is one command: the collection stays locked from its first scan to its end.
        session_->DirCache.KeepLocks = true;
    }
    return *session_;
}

bool CliContext::LoadProfile(bool scan) {
    TSession& session = Session();
    const auto profile = args_.Value("profile");
    const std::string name = profile ? ProfileArgument(*this, *profile) : session.Config.CurrentEmulator;
    std::error_code ec;
    if (name.empty() || !std::filesystem::exists(session.Config.DatafilePath(name), ec)) {
        Fail(NoProfileLine(*this, name, profile.has_value()));
        return false;
    }
    // A --profile given for one command does not change the stored current profile.
    TSession::LoadOptions options;
    options.RememberAsCurrent = !profile.has_value();
    options.Scan = scan;
    return session.UseEmulator(name, options, Job());
}

int CliContext::Fail(const std::string& message, const std::string& file) {
    const std::string line = OneLine(message);
    err_ << "quillmark-cli: " << line << "\n";
    if (Json() && !jsonPrinted_) {
        out_ << JsonError(line, file) << "\n";
        jsonPrinted_ = true;
    }
    return kExitFailure;
}

int CliContext::Usage(const std::string& message) {
    Fail(args_.Verb + ": " + message);
    err_ << "usage: quillmark-cli " << usage_ << "\n(see \"quillmark-cli help " << args_.Verb << "\")\n";
    return kExitUsage;
}

int CliContext::Cancelled(const std::string& message) {
    Fail(message);
    return kExitCancelled;
}

void CliContext::PrintJson(const JsonObject& json) {
    out_ << json.Text() << "\n";
    jsonPrinted_ = true;
}

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    CliArgs args;
    const VerbSpec* verb = nullptr;
    // A command line that cannot be run: said on standard error (and under --json as the error
    // object), with the usage exit status.
    auto refuse = [&](const std::string& message) {
        err << "quillmark-cli: " << message << "\n";
        if (args.Has("json")) {
            out << JsonError(message, {}) << "\n";
        }
        return kExitUsage;
    };
    std::string missingValue;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& arg = argv[i];
        if (arg == "-h") {
            args.Options.emplace("help", "");
        } else if (arg.starts_with("--") && arg.size() > 2) {
            std::string name = arg.substr(2);
            std::string value;
            if (const std::size_t eq = name.find('='); eq != std::string::npos) {
                value = name.substr(eq + 1);
                name.resize(eq);
            } else if (kValueOptions.count(name) > 0) {
                if (i + 1 >= argv.size()) {
                    missingValue = name;
                    continue;
                }
                value = argv[++i];
            }
            args.Options.emplace(name, value);
        } else if (args.Verb.empty()) {
            args.Verb = arg;
        } else {
            args.Positional.push_back(arg);
        }
    }
    if (args.Has("version")) {
        if (args.Has("json")) {
            out << JsonObject().Add("program", "quillmark-cli").Add("version", kProgramVersion).Text() << "\n";
        } else {
            out << "quillmark-cli " << kProgramVersion << "\n";
        }
        return kExitOk;
    }
    if (args.Verb == "__complete") {
        return PrintCompletionWords(args, out, err);
    }
    if (args.Verb == "help") {
        if (args.Positional.empty()) {
            PrintHelp(out);
            return kExitOk;
        }
        verb = FindVerb(args.Positional[0]);
        if (verb == nullptr) {
            return refuse("help: unknown verb '" + args.Positional[0] + "' (\"quillmark-cli help\" lists them)");
        }
        PrintVerbHelp(*verb, out);
        return kExitOk;
    }
    if (args.Verb.empty()) {
        if (args.Has("help")) {
            PrintHelp(out);
            return kExitOk;
        }
        PrintHelp(err);
        if (args.Has("json")) {
            out << JsonError("no verb given (\"quillmark-cli help\" lists them)", {}) << "\n";
        }
        return kExitUsage;
    }
    verb = FindVerb(args.Verb);
    if (verb == nullptr) {
        return refuse("unknown verb '" + args.Verb + "' (\"quillmark-cli help\" lists them)");
    }
    if (args.Has("help")) {
        PrintVerbHelp(*verb, out);
        return kExitOk;
    }
    for (const auto& [name, value] : args.Options) {
        if (kGlobalOptions.count(name) == 0 && verb->Options.count(name) == 0) {
            return refuse(std::string(verb->Name) + ": unknown option --" + name + " (see \"quillmark-cli help " +
                          verb->Name + "\")");
        }
    }
    if (!missingValue.empty()) {
        return refuse(std::string(verb->Name) + ": option --" + missingValue + " needs a value");
    }
    CliContext ctx(std::move(args), out, err);
    ctx.usage_ = verb->Usage;
    int status = kExitFailure;
    try {
        status = verb->Run(ctx);
    } catch (const ECancelClick& e) {
        return ctx.Cancelled(e.what());
    } catch (const EFileError& e) {
        return ctx.Fail(e.what(), e.File().string());
    } catch (const std::filesystem::filesystem_error& e) {
        return ctx.Fail(e.what(), e.path1().string());
    } catch (const std::exception& e) {
        return ctx.Fail(e.what());
    }
    // A verb that failed after an error shown through the prompts (a profile that would not
    // load) still owes --json its one object.
    if (status != kExitOk && ctx.Json() && !ctx.JsonPrinted()) {
        const std::string& said = ctx.Prompts().LastError();
        ctx.out_ << JsonError(said.empty() ? std::string(verb->Name) + " failed" : said, {}) << "\n";
    }
    return status;
}

}  // namespace qm

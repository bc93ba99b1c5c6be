#include "cli/Cli.h"

#include <exception>
#include <functional>
#include <sstream>

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
    std::set<std::string> Options;  // besides the global ones
    std::function<int(CliContext&)> Run;
};

const std::set<std::string> kGlobalOptions = {"data-dir", "json", "yes", "help", "version"};
const std::set<std::string> kValueOptions = {"data-dir", "profile", "corrupted", "name", "refname"};

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
         "load a profile and print its header, ROM directories and counts",
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
         "status [--sets|--clones] [--missing|--complete|--incomplete] [--profile NAME]",
         "list the sets (or clones) with their state: complete, incomplete or empty, and the no-good-dump mark",
         {"profile", "sets", "clones", "missing", "complete", "incomplete"},
         VerbStatus},
        {"paths",
         "paths list|add DIR|remove DIR [--profile NAME]",
         "show or edit the profile's ROM directories",
         {"profile"},
         VerbPaths},
        {"audit",
         "audit [--profile NAME] [--[no-]bad-zip-names] [--[no-]correct-names] [--[no-]correct-roms]\n"
         "        [--[no-]bad-rom-names] [--[no-]needed-elsewhere] [--[no-]not-needed] [--[no-]unknown]\n"
         "        [--[no-]no-good-dump] [--refresh] [--corrupted=ignore|move:DIR|delete] [--split] [--quiet]",
         "audit the collection and print the report (saved as report.txt in the scratch folder; --quiet prints "
         "its path only); Ctrl-C cancels after the current entry (exit status 130)",
         AuditOptionNames(), VerbAudit},
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
         "examine zip files from anywhere (only read) and copy the roms the collection lacks into every archive "
         "that needs them, under the names the sets expect (asks first, --yes confirms); an entry of the needed "
         "name holding another rom is kept, renamed NAME__; prints the problems, what was copied and the new "
         "counts; exit status 1 when a rom could not be copied",
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

void PrintHelp(std::ostream& out) {
    out << "Usage: quillmark-cli [--data-dir DIR] [--json] [--yes] VERB [ARGS]\n\n"
           "Verbs:\n";
    for (const VerbSpec& verb : Verbs()) {
        out << "  " << verb.Usage << "\n      " << verb.Summary << "\n";
    }
    out << "\nOptions:\n"
           "  --data-dir DIR   folder of the datafiles (default: $QUILLMARK_DATA_DIR, ./datas,\n"
           "                   ~/.local/share/quillmark/datas)\n"
           "  --json           print the result as JSON\n"
           "  --yes            answer Yes to every confirmation\n"
           "  --help           this text\n"
           "  --version        the program's version\n";
}

}  // namespace

void StreamPrompts::Show(MessageKind kind, const std::string& text) {
    switch (kind) {
        case MessageKind::Error:
            ++errors_;
            err_ << "quillmark-cli: error: ";
            break;
        case MessageKind::Warning:
            err_ << "quillmark-cli: warning: ";
            break;
        default:
            err_ << "quillmark-cli: ";
            break;
    }
    err_ << OneLine(text) << "\n";
}

bool StreamPrompts::Ask(MessageKind, const std::string& text) {
    err_ << "quillmark-cli: " << OneLine(text) << (yes_ ? " yes (--yes)" : " no (give --yes to confirm)") << "\n";
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

int CliContext::Fail(const std::string& message) {
    err_ << "quillmark-cli: " << OneLine(message) << "\n";
    return kExitFailure;
}

int RunCli(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    CliArgs args;
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
                    err << "quillmark-cli: option --" << name << " needs a value\n";
                    return kExitUsage;
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
        out << "quillmark-cli " << kProgramVersion << "\n";
        return kExitOk;
    }
    if (args.Has("help") || args.Verb.empty()) {
        PrintHelp(args.Verb.empty() && !args.Has("help") ? err : out);
        return args.Has("help") ? kExitOk : kExitUsage;
    }
    const VerbSpec* verb = nullptr;
    for (const VerbSpec& v : Verbs()) {
        if (args.Verb == v.Name) {
            verb = &v;
        }
    }
    if (verb == nullptr) {
        err << "quillmark-cli: unknown verb '" << args.Verb << "' (see --help)\n";
        return kExitUsage;
    }
    for (const auto& [name, value] : args.Options) {
        if (kGlobalOptions.count(name) == 0 && verb->Options.count(name) == 0) {
            err << "quillmark-cli: " << verb->Name << ": unknown option --" << name << " (see --help)\n";
            return kExitUsage;
        }
    }
    CliContext ctx(std::move(args), out, err);
    try {
        return verb->Run(ctx);
    } catch (const ECancelClick& e) {
        ctx.Fail(e.what());
        return kExitCancelled;
    } catch (const std::exception& e) {
        return ctx.Fail(e.what());
    }
}

}  // namespace qm

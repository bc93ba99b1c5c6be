#include "game_db/Datafile.h"

#include <algorithm>

#include "game_db/CrcHashIndex.h"
#include "game_db/GamesList.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/Text.h"

namespace qm {

int SplitRomLine(std::string_view line, std::array<std::string_view, kRomLineFields>& fields) {
    fields.fill(std::string_view());
    int delimiters = 0;
    std::size_t pos = line.find(kDatafileDelimiter);
    while (pos != std::string_view::npos) {
        ++delimiters;
        const std::size_t next = line.find(kDatafileDelimiter, pos + 1);
        if (delimiters <= kRomLineFields) {
            const std::size_t end = next == std::string_view::npos ? line.size() : next;
            fields[static_cast<std::size_t>(delimiters - 1)] = line.substr(pos + 1, end - pos - 1);
        }
        pos = next;
    }
    return delimiters;
}

bool IsWholeRomLine(std::string_view line, int delimiters) {
    return delimiters == kRomLineFields + 1 && line.front() == kDatafileDelimiter && line.back() == kDatafileDelimiter;
}

std::string FormatRomLine(const RomLine& line) {
    const char d = kDatafileDelimiter;
    std::string out;
    out.reserve(96 + line.SetDescription.size() + line.CloneDescription.size());
    out += d;
    out += line.SetName;
    out += d;
    out += line.SetDescription;
    out += d;
    out += line.CloneName;
    out += d;
    out += line.CloneDescription;
    out += d;
    out += line.RomName;
    out += d;
    out += line.Crc;
    out += d;
    out += line.NeoGeo ? 'O' : 'N';
    out += d;
    out += line.Own ? 'O' : 'N';
    out += d;
    out += std::to_string(line.Size);
    out += d;
    return out;
}

std::vector<std::string> FormatDatafileHeader(const DatafileHeader& h) {
    for (const auto& [what, value] : {std::pair<const char*, const std::string&>{"Author", h.Author},
                                      {"Version", h.Version},
                                      {"Comment", h.Comment},
                                      {"refname", h.RefName},
                                      {"version", h.EmulatorVersion},
                                      {"exe", h.Exe},
                                      {"runcmd", h.RunCmd},
                                      {"romspaths", h.RomPaths}}) {
        CheckOneLineText(std::string("The value of ") + what, value);
    }
    return {"[CREDITS]",
            "Author=" + h.Author,
            "Version=" + h.Version,
            "Comment=" + h.Comment,
            "[DAT]",
            "version=1.90",
            "[EMULATOR]",
            "refname=" + h.RefName,
            "version=" + h.EmulatorVersion,
            "exe=" + h.Exe,
            "runcmd=" + h.RunCmd,
            "romspaths=" + h.RomPaths,
            "[GAMES]"};
}

// ---------------------------------------------------------------------------------------------
// Loading the game section.

TGamesList::LoadResult TGamesList::LoadDatafileFile(const std::filesystem::path& file, Job& job) {
    const MappedFile mapped(file);
    return LoadDatafileBytes(mapped.Bytes(), job);
}

TGamesList::LoadResult TGamesList::LoadDatafileBytes(std::string_view bytes, Job& job) {
    LoadResult result;
    LineReader reader(bytes);
    std::string_view line;
    bool found = false;
    while (reader.Next(line)) {
        if (line.size() == 7 && SameText(line, "[games]")) {
            found = true;
            break;
        }
    }
    if (!found) {
        result.BadFormat = true;
        return result;
    }

    job.Status("Loading datas...");
    Clear();
    // A load stopped half-way leaves no half database behind.
    struct ClearUnlessDone {
        TGamesList& games;
        bool done = false;
        ~ClearUnlessDone() {
            if (!done) {
                games.Clear();
            }
        }
    } clearUnlessDone{*this};

    // The datafile groups the lines of a set and of a clone, so sets and clones are recognised
    // by comparing with the previous line. ROMs are shared by CRC through a hash index while
    // loading; the sorted lists are built once at the end.
    CrcHashIndex<TRom> romIndex(bytes.size() / 256);
    std::string previousSet;
    std::string previousClone;
    TGame* game = nullptr;
    TClone* clone = nullptr;
    std::size_t setCount = 0;
    std::size_t cloneCount = 0;
    const std::size_t total = bytes.size();
    // Progress by bytes read; the counts about fifty times per load.
    const std::size_t countEvery = total / 50 + 1;
    std::size_t nextCounts = reader.Position() + countEvery;
    ProgressMeter progress(job, total);
    std::array<std::string_view, kRomLineFields> f;
    std::string setName;
    std::string cloneName;
    std::string romName;
    std::string crc;

    while (reader.Next(line)) {
        const std::size_t position = reader.Position();
        progress.Set(position);
        if (position >= nextCounts) {
            job.CheckCancel();
            job.Count(LoadCount::Sets, setCount);
            job.Count(LoadCount::Clones, cloneCount);
            job.Count(LoadCount::Roms, romIndex.Count());
            nextCounts = position + countEvery;
        }
        // A line with a field too many or too few (an extra delimiter inside a description,
        // a record cut short at the end of the file) would be read with its fields shifted.
        if (!IsWholeRomLine(line, SplitRomLine(line, f))) {
            ++result.SkippedLines;
            continue;
        }
        setName.assign(f[fSet]);
        cloneName.assign(f[fClone]);
        romName.assign(f[fRomName]);
        LowerCaseInPlace(setName);
        LowerCaseInPlace(cloneName);
        LowerCaseInPlace(romName);
        // A line without a set, clone or ROM name cannot be attached anywhere.
        if (setName.empty() || cloneName.empty() || romName.empty()) {
            ++result.SkippedLines;
            continue;
        }
        if (game == nullptr || setName != previousSet) {
            game = NewGame(setName, f[fSetDescription]);
            game->NeoGeo = SameText(f[fNeoGeo], "o");
            games_.AppendUnsorted(game);
            ++setCount;
            clone = nullptr;  // a new set always starts a new clone
            previousSet = setName;
        }
        if (clone == nullptr || cloneName != previousClone) {
            clone = NewClone(game, cloneName, f[fCloneDescription]);
            game->Clones.Add(clone);
            AllClones.AppendUnsorted(clone);
            ++cloneCount;
            previousClone = cloneName;
        }

        crc.assign(f[fCrc]);
        LowerCaseInPlace(crc);
        TRom* rom = nullptr;
        bool noGoodDump = false;
        if (crc != kNoGoodDumpCrc) {
            rom = romIndex.Find(crc);
        } else {
            noGoodDump = true;
            rom = game->FindRomByName(romName);
            if (rom != nullptr && rom->Crc != kNoGoodDumpCrc) {
                noGoodDump = false;
            }
        }
        if (rom == nullptr) {
            std::int32_t size = 0;
            if (!f[fSize].empty()) {
                size = ParseInt32(f[fSize]).value_or(-1);
            }
            rom = NewRom(crc, size);
            romIndex.Insert(rom);
        }
        rom->Clones.Add(clone);
        clone->Roms.Add(TRomEntry{romName, noGoodDump, f[fOwn] == "O", rom});
        if (noGoodDump) {
            NoGoodDumpRoms.AppendUnsorted(NamedRom{romName, rom});
            rom->NoGoodDump = true;
        }
    }

    games_.SortAppended();
    AllClones.SortAppended();
    NoGoodDumpRoms.SortAppended();
    RomsByCrc.Reserve(romIndex.Count());
    for (TRom& rom : romStore_) {
        if (romIndex.Find(rom.Crc) == &rom) {
            RomsByCrc.AppendUnsorted(&rom);
        }
    }
    RomsByCrc.SortAppended();
    CrcListsChanged();
    NoGoodDumpFlagsChanged();
    ReportCounts(job);
    ComputeStatus();
    clearUnlessDone.done = true;
    return result;
}

}  // namespace qm

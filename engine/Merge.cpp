#include "engine/Merge.h"

#include <algorithm>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "archive/ZipMstr.h"
#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "engine/RepairDiskAccess.h"
#include "engine/RomsFiles.h"
#include "engine/SrcRomList.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

bool IsFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string ShortName(std::string_view entry) {
    const std::size_t cut = entry.find_last_of("/\\");
    return std::string(cut == std::string_view::npos ? entry : entry.substr(cut + 1));
}

// One ROM an archive is to receive, under the name its set expects.
struct Item {
    std::string Name;
    TSrcRom* Source = nullptr;
};

// An archive of the collection and everything the run adds to it.
struct Target {
    TPath* Dir = nullptr;
    std::string Archive;  // owner name + ".zip"
    std::string Owner;
    std::vector<Item> Items;
};

class Merger {
public:
    Merger(TPathsList& paths, const fs::path& workDir, Job& job, MergeOutcome& outcome)
        : paths_(paths), cache_(paths.DirCache()), work_(workDir, kMergeWorkFolder), job_(job), out_(outcome) {}

    void Run(const std::vector<TSrcRom*>& sources) {
        Plan(sources);
        const std::size_t count = targets_.size();
        const std::size_t every = count / 50 + 1;
        for (std::size_t g = 0; g < count; ++g) {
            if (g % every == 0) {
                job_.Progress(g, count);
            }
            if (job_.CancelRequested()) {
                out_.Cancelled = true;
                break;
            }
            Write(targets_[g]);
            work_.Empty();
        }
        job_.Progress(count, count);
    }

private:
    void Problem(std::string line) {
        job_.Problem(line);
        out_.ProblemLines.push_back(std::move(line));
    }

    // Which archive receives which ROM under which name. A key (archive, name) is written once
    // per run, whichever dropped file holds the ROM first.
    void Plan(const std::vector<TSrcRom*>& sources) {
        TGamesList& games = paths_.Games();
        std::unordered_set<std::string> done;
        std::unordered_map<std::string, std::size_t> byPath;
        TNeededNamesList needed;
        for (TSrcRom* source : sources) {
            const std::string sourceName = FileNameOfPath(source->ZipPath);
            if (!IsFile(source->ZipPath)) {
                Problem("File " + sourceName + " not found.");
                continue;
            }
            const std::string crc = LowerCase(source->Crc);
            games.NamesForCrc(sourceName, ShortName(LowerCase(source->EntryName)), needed, crc);
            std::vector<NamedGame> targets(needed.begin(), needed.end());
            AddOwnEntries(*source->Rom, crc, targets);
            for (const NamedGame& target : targets) {
                const std::string archive = target.Game->Name + ".zip";
                if (!done.insert(archive + '/' + target.Name + '/' + crc).second) {
                    continue;
                }
                if (!IsBareFileName(target.Name)) {
                    Problem("File " + archive + " (" + target.Name +
                            ") : Zip problem... not copied - a name with a folder part cannot be added");
                    continue;
                }
                TPath* dir = paths_.WritablePathFor(archive);
                if (dir == nullptr) {
                    Problem("File " + archive + " (" + target.Name +
                            ") : Zip problem... not copied - no writable ROM directory");
                    continue;
                }
                if (const TFile* file = dir->FindFile(archive)) {
                    if (const TZipRom* held = file->FindRom(target.Name); held != nullptr && held->Crc == crc) {
                        source->Rom->Status = rsPresent;
                        continue;
                    }
                }
                const auto [it, added] = byPath.try_emplace(dir->Path + archive, targets_.size());
                if (added) {
                    targets_.push_back(Target{dir, archive, target.Game->Name, {}});
                }
                Target& into = targets_[it->second];
                into.Items.push_back(Item{QueuedName(into, target.Name), source});
                if (into.Items.back().Name != target.Name) {
                    out_.Displaced.push_back(MergeDisplaced{dir->Path + archive, target.Name, into.Items.back().Name});
                }
            }
        }
    }

    // The names give each ROM once, to the first set that needs it under a name; the emulator looks
    // for a set's ROMs in that set's archive, so every set whose clones own the ROM gets it too.
    static void AddOwnEntries(const TRom& rom, const std::string& crc, std::vector<NamedGame>& targets) {
        if (rom.Crc != crc) {
            return;
        }
        for (TClone* clone : rom.Clones) {
            for (const TRomEntry& entry : clone->Roms) {
                if (entry.Rom == &rom && entry.Own) {
                    targets.push_back(NamedGame{entry.Name, clone->Game});
                }
            }
        }
    }

    // Two clones of a set may expect different ROMs under one name, and one archive holds one
    // entry of a name: the ROM that comes first keeps the name, a later one is stored under the
    // name + "__" (the scan finds ROMs by CRC; none is left out).
    static std::string QueuedName(const Target& target, const std::string& name) {
        auto queued = [&](const std::string& candidate) {
            return std::any_of(target.Items.begin(), target.Items.end(),
                               [&](const Item& item) { return SameText(item.Name, candidate); });
        };
        if (!queued(name)) {
            return name;
        }
        std::string other = name + "__";
        for (int n = 2; queued(other); ++n) {
            other = name + "__" + std::to_string(n);
        }
        return other;
    }

    void Write(Target& target) {
        const std::string& dirPath = target.Dir->Path;
        const fs::path archive = dirPath + target.Archive;
        const Item& first = target.Items.front();
        job_.Status("Copying " + FileNameOfPath(first.Source->ZipPath) + " - " + ShortName(first.Source->EntryName) +
                    " ...");
        try {
            cache_.PrepareChange(dirPath);
        } catch (const std::exception& e) {
            NotCopied(target, e.what());
            return;
        }
        bool existed = PathExists(archive);
        if (existed && !IsFile(archive)) {
            NotCopied(target, "it is not a file");
            return;
        }
        if (existed) {
            MakeWritable(archive);
            zip_.ErrCode = 0;
            zip_.SetZipFilename(archive);
            if (zip_.ErrCode != 0 && !IsListingWarning(zip_.ErrCode)) {
                if (!SetAsideUnreadable(target, archive)) {
                    return;
                }
                existed = false;
            }
            zip_.ErrCode = 0;
        }

        std::vector<ZipAddition> additions;
        std::vector<const Item*> added;
        std::unordered_map<const TSrcRom*, fs::path> extracted;
        for (const Item& item : target.Items) {
            const fs::path file = work_.Path() / item.Name;
            if (const auto it = extracted.find(item.Source); it != extracted.end()) {
                // Needed under a second name: the same bytes once more.
                std::error_code ec;
                fs::copy_file(it->second, file, ec);
                if (ec) {
                    Problem("File " + archive.string() + " (" + item.Name + ") : Zip problem... not copied - " +
                            ec.message());
                    continue;
                }
            } else if (!Extract(*item.Source, file)) {
                continue;
            } else {
                extracted.emplace(item.Source, file);
            }
            additions.push_back(ZipAddition{file, item.Name, ParseCrcHex(item.Source->Crc).value_or(0)});
            added.push_back(&item);
        }
        if (additions.empty()) {
            Record(target, archive);
            return;
        }

        zip_.ErrCode = 0;
        zip_.SetZipFilename(archive);
        const std::vector<bool> done = zip_.AddDisplacing(additions);
        std::size_t copied = 0;
        for (std::size_t i = 0; i < done.size(); ++i) {
            if (done[i]) {
                ++copied;
                added[i]->Source->Rom->Status = rsPresent;
            } else {
                Problem("File " + archive.string() + " (" + added[i]->Name + ") : Zip problem... not copied - " +
                        zip_.Message);
            }
        }
        for (const ZipDisplacement& moved : zip_.Displaced) {
            out_.Displaced.push_back(MergeDisplaced{archive.string(), moved.From, moved.To});
        }
        if (copied > 0) {
            out_.RomsCopied += copied;
            ++(existed ? out_.ArchivesChanged : out_.ArchivesCreated);
        }
        Record(target, archive);
    }

    // Extracts a dropped ROM into `file`; false after a problem line.
    bool Extract(const TSrcRom& source, const fs::path& file) {
        const std::string sourceName = FileNameOfPath(source.ZipPath);
        const std::string failed = "File " + sourceName + ": Zip problem... not copied.";
        if (source_.ZipFilename() != fs::path(source.ZipPath) || sourceListed_ != source.ZipPath) {
            source_.ErrCode = 0;
            source_.SetZipFilename(source.ZipPath);
            if (source_.ErrCode != 0 && !IsListingWarning(source_.ErrCode)) {
                Problem(failed + " " + source_.Message);
                sourceListed_.clear();
                return false;
            }
            sourceListed_ = source.ZipPath;
        }
        const std::size_t index = ListedIndexOf(source_.ZipEntries(), LowerCase(source.EntryName), source.Crc);
        if (index == source_.ZipEntries().size()) {
            Problem(failed + " " + source.EntryName + " is gone");
            return false;
        }
        if (!source_.ExtractEntry(index, file)) {
            Problem(failed + " " + (source_.ErrCode == kZipCrcError ? std::string("Bad crc") : source_.Message));
            // The file may have changed since it was listed: list it again next time.
            sourceListed_.clear();
            return false;
        }
        return true;
    }

    // An archive that cannot be read is kept under owner + "_bad.zip" (a free such name), and
    // the ROMs go into a new archive of the right name. False when it cannot be set aside.
    bool SetAsideUnreadable(Target& target, const fs::path& archive) {
        Problem("File " + archive.string() + " (" + target.Items.front().Name + ") : Zip problem... - " + zip_.Message);
        std::string bad = target.Owner + "_bad.zip";
        for (int n = 2; PathExists(target.Dir->Path + bad); ++n) {
            bad = target.Owner + "_bad" + std::to_string(n) + ".zip";
        }
        std::error_code ec;
        fs::rename(archive, target.Dir->Path + bad, ec);
        if (ec) {
            NotCopied(target, "cannot rename it: " + ec.message());
            return false;
        }
        SyncDirectory(target.Dir->Path);
        Problem("      File renamed " + bad);
        out_.BadArchives.push_back(target.Dir->Path + bad);
        cache_.Open(target.Dir->Path);
        cache_.DeleteZip(archive.string());
        if (TFile* file = target.Dir->FindFile(target.Archive)) {
            target.Dir->RemoveFile(file);
        }
        return true;
    }

    void NotCopied(const Target& target, const std::string& why) {
        const std::string archive = target.Dir->Path + target.Archive;
        for (const Item& item : target.Items) {
            Problem("File " + archive + " (" + item.Name + ") : Zip problem... not copied - " + why);
        }
    }

    // The archive's cache lines and its picture in the model as the archive now is on disk.
    void Record(const Target& target, const fs::path& archive) {
        cache_.Open(target.Dir->Path);
        cache_.DeleteZip(archive.string());
        TFile* file = target.Dir->FindFile(target.Archive);
        if (!PathExists(archive)) {
            if (file != nullptr) {
                target.Dir->RemoveFile(file);
            }
            return;
        }
        if (!cache_.AddZipListing(archive)) {
            // Unreadable now: the next scan reads the directory again and reports it.
            cache_.Invalidate(target.Dir->Path);
            if (file != nullptr) {
                target.Dir->RemoveFile(file);
            }
            return;
        }
        cache_.Save();
        if (file == nullptr) {
            file = target.Dir->FindOrAddFile(target.Archive);
        }
        while (!file->Roms.empty()) {
            file->RemoveRom(file->Roms[file->Roms.size() - 1]);
        }
        for (const ZipDirEntry& entry : cache_.Zip.ZipEntries()) {
            if (!entry.IsDirectory()) {
                file->AddRom(CacheEntryName(entry.FileName), CrcToHex(entry.Crc32));
            }
        }
        file->Analyse();
    }

    TPathsList& paths_;
    TDatFile& cache_;
    WorkFolder work_;
    Job& job_;
    MergeOutcome& out_;
    std::vector<Target> targets_;
    TZipMaster zip_;     // the target archives
    TZipMaster source_;  // the dropped files
    std::string sourceListed_;
};

}  // namespace

MergeOutcome MergeNewRoms(TPathsList& paths, const std::vector<TSrcRom*>& sources, const fs::path& workDir, Job& job) {
    MergeOutcome outcome;
    Merger(paths, workDir, job, outcome).Run(sources);
    return outcome;
}

}  // namespace qm

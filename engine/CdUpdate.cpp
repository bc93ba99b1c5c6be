#include "engine/CdUpdate.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "archive/ZipMstr.h"
#include "archive/crc32.h"
#include "engine/DatFileUnit.h"
#include "engine/FilesTools.h"
#include "engine/RepairDiskAccess.h"
#include "engine/RomsFiles.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "platform/TempFiles.h"

namespace qm {

namespace fs = std::filesystem;

std::string FilesUpdatedMessage(std::size_t count) {
    return std::to_string(count) + " files updated.";
}

namespace {

// A destination that is one of the ROM directories keeps that directory's spelling, so that its
// cache is one and the same in TDatFile.
std::string DestinationFolder(const TPathsList& paths, const std::string& dir) {
    const TPath* romDir = paths.PathOf(dir);
    return romDir != nullptr ? romDir->Path : WithTrailingSlash(dir);
}

using EntryKey = std::pair<std::string, std::string>;  // lower-case name, CRC

class CdUpdater {
public:
    CdUpdater(TPathsList& paths, TDatFile& cache, const fs::path& workDir, const CdUpdateOptions& options, Job& job,
              CdUpdateResult& result)
        : paths_(paths),
          games_(paths.Games()),
          cache_(cache),
          work_(workDir, "cd-update"),
          source_(WithTrailingSlash(options.SourceDir)),
          dest_(DestinationFolder(paths, options.DestinationDir)),
          options_(options),
          job_(job),
          result_(result) {
        // The same CRCs the scan takes, header stripped for console profiles.
        crcList_.SizeHeader = paths.SnesMode;
        crcList_.FixedHeader16 = paths.NesMode;
        crcList_.LookInZip = true;
        crcList_.SkipTextFiles = false;
    }

    void Run() {
        // Copies into the destination that a killed run left half-made (its lock first: a live
        // writer's temporary files are its own).
        cache_.Lock(dest_);
        RemoveStaleTempFiles(dest_);
        const std::vector<std::string> names = ListFiles(source_, "*.zip");
        job_.Progress(0, names.size());
        for (std::size_t i = 0; i < names.size(); ++i) {
            job_.Status("Processing file " + names[i]);
            if (job_.CancelRequested()) {
                result_.Cancelled = true;
                return;
            }
            ++result_.Processed;
            UpdateArchive(source_ + names[i]);
            job_.Progress(i + 1, names.size());
        }
        if (options_.CreateFiles) {
            CreateMissingArchives();
        }
    }

private:
    void Problem(std::string line) {
        job_.Problem(line);
        result_.Problems.push_back(std::move(line));
    }

    // The archive's entries as the scan would take them; none, after a problem line, when it
    // cannot be listed.
    std::optional<std::vector<TCrcItem>> List(const std::string& archive) {
        crcList_.FileName = archive;
        crcList_.Clear();
        try {
            crcList_.Build();
        } catch (const std::exception& e) {
            Problem("File " + archive + ": " + e.what());
            return std::nullopt;
        }
        return crcList_.ItemList();
    }

    // The set of the first entry whose ROM (of the current selection) belongs to one clone only.
    const TGame* IdentifySet(const std::vector<TCrcItem>& items) const {
        for (const TCrcItem& item : items) {
            if (item.Crc == kNoGoodDumpCrc) {
                continue;
            }
            const TRom* rom = games_.FindSelectedRom(item.Crc);
            if (rom != nullptr && rom->Clones.size() == 1) {
                return rom->Clones[0]->Game;
            }
        }
        return nullptr;
    }

    void UpdateArchive(const std::string& archive) {
        const auto items = List(archive);
        if (!items) {
            return;
        }
        const TGame* game = IdentifySet(*items);
        if (game == nullptr) {
            if (options_.ShowDelete) {
                result_.ToDelete.push_back(archive);
            }
            return;
        }
        covered_.insert(game);
        std::unordered_set<std::string> held;
        for (const TCrcItem& item : *items) {
            if (item.Crc != kNoGoodDumpCrc) {
                held.insert(item.Crc);
            }
        }
        if (auto done = Complete(*game, archive, held, /*copyBaseAlways=*/false)) {
            result_.Updated.push_back(std::move(*done));
        }
    }

    // Every set of the selection that the collection holds and no source archive stands for:
    // its archive in the collection copied, then completed from the rest of the collection.
    void CreateMissingArchives() {
        const auto& sets = games_.SelectedSets;
        for (std::size_t i = 0; i < sets.size(); ++i) {
            const TGame* game = sets[i];
            if (covered_.contains(game) || !game->HasPresentRom) {
                continue;
            }
            if (job_.CancelRequested()) {
                result_.Cancelled = true;
                return;
            }
            const std::string archive = game->Name + ".zip";
            job_.Status("Creating " + archive);
            job_.Progress(i, sets.size());
            std::string base;
            std::unordered_set<std::string> held;
            for (const auto& path : paths_.Paths()) {
                if (const TFile* file = path->FindFile(archive)) {
                    base = file->FullName();
                    for (const TZipRom* entry : file->Roms) {
                        held.insert(entry->Crc);
                    }
                    break;
                }
            }
            if (auto done = Complete(*game, base, held, /*copyBaseAlways=*/true)) {
                result_.Created.push_back(std::move(*done));
            }
        }
    }

    struct Wanted {
        std::string Name;
        const TZipRom* Holder = nullptr;
    };

    // Brings the destination's archive of `game` to every ROM of the set the collection holds,
    // but those `held` by the archive it is made from (`base`, copied first when the destination
    // has no such archive yet) and those it holds already under their right name. Without
    // copyBaseAlways, an archive that gains nothing is not made at all.
    std::optional<CdUpdatedArchive> Complete(const TGame& game, const std::string& base,
                                             const std::unordered_set<std::string>& held, bool copyBaseAlways) {
        const std::string target = dest_ + game.Name + ".zip";
        const bool existed = PathExists(target);
        std::set<EntryKey> inTarget;
        if (existed) {
            if (!HeldBy(target, inTarget)) {
                return std::nullopt;
            }
        }
        TNamedRomList collected;
        game.CollectRoms(collected);
        std::vector<Wanted> wanted;
        for (const NamedRom& rom : collected) {
            const std::string& crc = rom.Rom->Crc;
            // A ROM of no known dump has no CRC to look for.
            if (crc == kNoGoodDumpCrc || crc == kPlaceholderCrc || held.contains(crc) ||
                inTarget.contains({rom.Name, crc})) {
                continue;
            }
            const auto [first, last] = paths_.ZipRomsByCrc.EqualRange(crc);
            if (first != last) {
                wanted.push_back({rom.Name, *first});
            }
        }
        const bool copyBase = !existed && !base.empty();
        if (wanted.empty() && !(copyBaseAlways && copyBase)) {
            return std::nullopt;
        }

        CdUpdatedArchive done{base, target, {}};
        cache_.PrepareChange(dest_);
        if (copyBase) {
            if (const int err = CopyFileReplacing(base, target); err != 0) {
                Problem(target + ": cannot copy " + base + ": " + std::strerror(err));
                RecordInCache(target);
                return std::nullopt;
            }
            // Archives copied from a CD are read-only; the copy is to be completed.
            MakeWritable(target);
        }
        AddMembers(target, Extract(wanted));
        work_.Empty();

        std::set<EntryKey> now;
        if (HeldBy(target, now)) {
            for (const Wanted& w : wanted) {
                if (now.contains({w.Name, w.Holder->Crc})) {
                    done.Added.push_back(w.Name);
                }
            }
        }
        const bool made = copyBase && copyBaseAlways;
        if (done.Added.empty() && copyBase && !made) {
            // A copy that gained nothing is no update.
            std::error_code ec;
            fs::remove(target, ec);
        }
        RecordInCache(target);
        if (done.Added.empty() && !made) {
            return std::nullopt;
        }
        return done;
    }

    // The (name, CRC) pairs of an archive; false, after a problem line, when it cannot be listed.
    bool HeldBy(const std::string& archive, std::set<EntryKey>& keys) {
        const auto items = List(archive);
        if (!items) {
            return false;
        }
        for (const TCrcItem& item : *items) {
            keys.emplace(item.Name, item.Crc);
        }
        return true;
    }

    // Extracts each wanted ROM from its holder into the work folder under the name the set
    // expects; gives the files extracted.
    std::vector<std::string> Extract(const std::vector<Wanted>& wanted) {
        std::vector<std::string> files;
        for (const Wanted& w : wanted) {
            const std::string holder = w.Holder->ZipFile->FullName();
            if (!IsBareFileName(w.Name)) {
                Problem("Rom " + w.Name + ": a name with a folder part cannot be added to an archive");
                continue;
            }
            zip_.ErrCode = 0;
            zip_.SetZipFilename(holder);
            if (zip_.ErrCode != 0 && !IsListingWarning(zip_.ErrCode)) {
                Problem("File " + holder + ": " + zip_.Message);
                continue;
            }
            const std::size_t index = ListedIndexOf(zip_.ZipEntries(), w.Holder->Name, w.Holder->Crc);
            if (index == zip_.ZipEntries().size()) {
                Problem("File " + holder + ": no entry named " + w.Holder->Name);
                continue;
            }
            const fs::path file = work_.Path() / w.Name;
            if (!zip_.ExtractEntry(index, file)) {
                Problem("File " + holder + ": " + w.Holder->Name + ": " + zip_.Message);
                continue;
            }
            files.push_back(file.string());
        }
        return files;
    }

    void AddMembers(const std::string& target, std::vector<std::string> files) {
        if (files.empty()) {
            return;
        }
        const std::size_t count = files.size();
        zip_.ErrCode = 0;
        zip_.SetZipFilename(target);
        zip_.FSpecArgs = std::move(files);
        zip_.Add();
        if (static_cast<std::size_t>(zip_.SuccessCount) < count) {
            Problem("File " + target + ": " + zip_.Message);
        }
    }

    // The destination's cache lines of `target` as the archive now is.
    void RecordInCache(const std::string& target) {
        cache_.Open(dest_);
        cache_.DeleteZip(target);
        if (PathExists(target)) {
            cache_.AddZipListing(target);
            cache_.Save();
        }
    }

    TPathsList& paths_;
    const TGamesList& games_;
    TDatFile& cache_;
    WorkFolder work_;
    const std::string source_;
    const std::string dest_;
    const CdUpdateOptions& options_;
    Job& job_;
    CdUpdateResult& result_;
    TCrc32 crcList_;
    TZipMaster zip_;
    std::unordered_set<const TGame*> covered_;
};

}  // namespace

CdUpdateResult UpdateCd(TPathsList& paths, TDatFile& cache, const fs::path& workDir, const CdUpdateOptions& options,
                        Job& job) {
    CdUpdateResult result;
    CdUpdater(paths, cache, workDir, options, job, result).Run();
    return result;
}

}  // namespace qm

#include "engine/SrcRomList.h"

#include <system_error>

#include "archive/crc32.h"
#include "game_db/cel_strings.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// The member's file name: the text after its last folder separator (or a drive's colon).
std::string MemberFileName(std::string_view name) {
    const std::size_t cut = name.find_last_of("/\\:");
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

}  // namespace

void TSrcRomList::Clear() {
    roms_.clear();
    byCrc_.clear();
    newRoms_.clear();
}

const TSrcRom* TSrcRomList::FindByCrc(std::string_view crc) const {
    const auto it = byCrc_.find(std::string(crc));
    return it == byCrc_.end() ? nullptr : &roms_[it->second];
}

TSrcRom& TSrcRomList::AddSource(std::string_view entryName, std::string_view crc, const std::string& zipPath,
                                TRom* rom) {
    TSrcRom& source = roms_.emplace_back();
    source.EntryName = entryName;
    source.Crc = crc;
    source.ZipPath = zipPath;
    source.Rom = rom;
    source.Status = rsPresent;
    byCrc_.emplace(source.Crc, roms_.size() - 1);
    return source;
}

void TSrcRomList::LoadSourceRoms(const std::vector<std::string>& files, TGamesList& games,
                                 const SourceReadOptions& options, Job& job) {
    Report.clear();
    job.Status("Reading zip files ...");
    TCrc32 reader;
    reader.TempPath = options.TempPath;
    reader.SizeHeader = options.SizeHeader;
    reader.FixedHeader16 = options.FixedHeader16;
    reader.LookInZip = true;
    const std::size_t n = files.size();
    for (std::size_t i = 0; i < n; ++i) {
        job.Progress(n == 1 ? 1 : i, n == 1 ? 1 : n - 1);
        job.CheckCancel();
        const std::string& path = files[i];
        const std::string zipName = FileNameOfPath(path);
        job.Status("Loading " + zipName + " ...");
        if (!IsFile(path)) {
            Report.push_back("File " + path + " not found");
            continue;
        }
        Report.push_back("File " + path + ":");
        reader.Clear();
        reader.FileName = path;
        try {
            reader.Build();
        } catch (const ECrcZipError& e) {
            Report.push_back("**** " + zipName + ": " + e.what());
            continue;
        } catch (const std::exception& e) {
            // Gone or unreadable since it was dropped: what was read is still examined.
            job.Problem("File : " + path + " " + e.what());
        }
        for (const TCrcItem& item : reader.ItemList()) {
            const std::string& name = item.Name;
            // Members are compared under their file name, wherever the zip stores them.
            const std::string fname = MemberFileName(name);
            const std::string& crc = item.Crc;
            bool found = false;
            TRom* selected = games.FindSelectedRom(crc);
            if (byCrc_.find(crc) == byCrc_.end() && selected != nullptr && item.Size != 0) {
                AddSource(name, crc, path, selected);
            }
            TRom* badDump = nullptr;
            if (item.Size != 0 && games.FindByComplementedCrc(zipName, fname, crc, badDump)) {
                if (byCrc_.find(crc) == byCrc_.end()) {
                    AddSource(name, crc, path, badDump);
                }
                for (const TClone* clone : badDump->Clones) {
                    Report.push_back("---- " + fname + ": used in " + clone->Description + " (No good dump known).");
                }
                found = true;
            }
            // An empty member is told apart even when no member before it had its CRC.
            if (selected != nullptr && (item.Size == 0 || byCrc_.find(crc) != byCrc_.end())) {
                if (item.Size != 0) {
                    found = true;
                    for (const TClone* clone : selected->Clones) {
                        for (const TRomEntry& entry : clone->Roms) {
                            if (entry.Rom->Crc != crc) {
                                continue;
                            }
                            if (!entry.Rom->NoGoodDump) {
                                std::string line = "     " + fname + ": used in " + clone->Description;
                                if (fname != entry.Name) {
                                    line += " renamed " + entry.Name;
                                }
                                Report.push_back(std::move(line));
                            }
                            break;
                        }
                    }
                } else {
                    Report.push_back("**** " + name + ": Size = 0");
                }
            }
            if (!found && !fname.empty()) {
                Report.push_back("**** " + fname + ": Unknown rom file");
            }
        }
        Report.emplace_back();
    }
}

std::vector<TSrcRom*> TSrcRomList::AllRoms() {
    std::vector<TSrcRom*> all;
    all.reserve(roms_.size());
    for (TSrcRom& source : roms_) {
        all.push_back(&source);
    }
    return all;
}

void TSrcRomList::KeepNewRoms(const TGamesList& games) {
    newRoms_.clear();
    for (TSrcRom& source : roms_) {
        if (source.Rom != nullptr && !games.CountsPresent(*source.Rom)) {
            newRoms_.push_back(&source);
        }
    }
}

}  // namespace qm

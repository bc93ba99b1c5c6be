// ROMs found in zip files the user drops on the program (files from anywhere, which are only ever
// read): every member whose CRC the current selection needs becomes a source ROM, a short report
// says what each file holds, and the ROMs the collection lacks are kept apart for the merge.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "game_db/GamesList.h"
#include "platform/Job.h"

namespace qm {

// One recognised member of a dropped zip file.
struct TSrcRom {
    std::string EntryName;  // lower-cased, as stored (it may hold a folder part)
    std::string Crc;        // as the zip directory gives it, 8 lower-case hex digits
    std::uint8_t Status = rsPresent;
    std::string ZipPath;  // the dropped file's path as given
    TRom* Rom = nullptr;  // the database ROM it is (not owned)
};

// How the dropped files are read: the console profiles' header rules and the scratch folder.
struct SourceReadOptions {
    bool SizeHeader = false;     // the profile's SnesMode
    bool FixedHeader16 = false;  // the profile's NesMode
    std::filesystem::path TempPath;
};

class TSrcRomList {
public:
    // Reads the dropped zip files against the database: fills the list and Report. Reading errors
    // of a file other than a damaged archive go to the job as problem lines ("File : " + path);
    // the members read before them are still examined.
    void LoadSourceRoms(const std::vector<std::string>& files, TGamesList& games, const SourceReadOptions& options,
                        Job& job);
    // Rebuilds NewRoms: the source ROMs whose ROM the collection does not hold.
    void KeepNewRoms(const TGamesList& games);
    void Clear();

    // In the order the members were read; one per CRC.
    const std::deque<TSrcRom>& Roms() const { return roms_; }
    // The same, for the merge.
    std::vector<TSrcRom*> AllRoms();
    std::size_t Count() const { return roms_.size(); }
    const TSrcRom* FindByCrc(std::string_view crc) const;
    const std::vector<TSrcRom*>& NewRoms() const { return newRoms_; }

    // The report lines of the last load ("srcreport.txt").
    std::vector<std::string> Report;

private:
    TSrcRom& AddSource(std::string_view entryName, std::string_view crc, const std::string& zipPath, TRom* rom);

    std::deque<TSrcRom> roms_;
    std::unordered_map<std::string, std::size_t> byCrc_;
    std::vector<TSrcRom*> newRoms_;
};

}  // namespace qm

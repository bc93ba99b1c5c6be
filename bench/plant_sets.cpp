// Writes the archives of a few sets of a datafile as an emulator would accept them: every ROM the
// set owns (its clones' included), at its real size, with data forged to its CRC-32. For checks
// with the real emulator (scripts/check-neogeo-mame); --drop leaves a ROM out of every archive.
//
// usage: plant_sets DATAFILE OUTDIR SET... [--drop ROM]...
#include <cstdio>
#include <exception>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "bench/BenchCollection.h"
#include "game_db/GamesList.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"

namespace {

int Usage(const char* program) {
    std::fprintf(stderr, "usage: %s DATAFILE OUTDIR SET... [--drop ROM]...\n", program);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    std::set<std::string, std::less<>> dropped;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--drop" && i + 1 < argc) {
            dropped.insert(argv[++i]);
        } else if (arg.starts_with("-")) {
            return Usage(argv[0]);
        } else {
            args.emplace_back(arg);
        }
    }
    if (args.size() < 3) {
        return Usage(argv[0]);
    }
    try {
        qm::TGamesList games;
        if (games.LoadDatafileFile(args[0], qm::SilentJob()).BadFormat) {
            std::fprintf(stderr, "%s: not a datafile\n", args[0].c_str());
            return 1;
        }
        const std::filesystem::path outDir = args[1];
        for (std::size_t i = 2; i < args.size(); ++i) {
            const qm::TGame* game = games.FindGame(args[i]);
            if (game == nullptr) {
                std::fprintf(stderr, "%s: no such set\n", args[i].c_str());
                return 1;
            }
            std::vector<qm::bench::ZipMember> members;
            std::set<std::string, std::less<>> names;
            for (const qm::TClone* clone : game->Clones) {
                for (const qm::TRomEntry& entry : clone->Roms) {
                    const auto crc = qm::ParseCrcHex(entry.Rom->Crc);
                    // A ROM shared with a parent or a BIOS lives in that set's archive.
                    if (!entry.Own || !crc || entry.Rom->Size < 4 || dropped.contains(entry.Name) ||
                        !names.insert(entry.Name).second) {
                        continue;
                    }
                    qm::bench::ZipMember member;
                    member.Name = entry.Name;
                    member.Crc = *crc;
                    member.Data = qm::bench::ForgeData(*crc, static_cast<std::size_t>(entry.Rom->Size), *crc);
                    members.push_back(std::move(member));
                }
            }
            const qm::bench::ZipBytes zip = qm::bench::BuildStoredZip(members);
            qm::WriteFileAtomic(outDir / (game->Name + ".zip"), zip.Bytes);
            std::printf("%s.zip: %zu roms\n", game->Name.c_str(), members.size());
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}

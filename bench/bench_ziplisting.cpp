// Lists a collection-sized folder of small archives from the page cache and prints the rate
// next to a floor that does the same file work without parsing anything; then the throughput of
// the CRC-32 of plain files.
//
// usage: bench_ziplisting [ARCHIVES] [FOLDER]
//   ARCHIVES  how many archives of 7 entries to make (default 45000)
//   FOLDER    where to make them (default: a new folder in $TMPDIR or /tmp, removed afterwards)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ZipMstr.h"
#include "archive/crc32.h"
#include "bench/BenchCollection.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// A stored archive of `count` entries with names and sizes like a ROM set's.
std::string ForgeArchive(unsigned set, int count) {
    std::vector<qm::bench::ZipMember> members;
    for (int i = 0; i < count; ++i) {
        qm::bench::ZipMember member;
        member.Name = "set" + std::to_string(set) + ".rom" + std::to_string(i);
        member.Data.assign(64 + (set * 7 + static_cast<unsigned>(i) * 13) % 200, static_cast<char>('a' + i));
        member.Crc = qm::Crc32Of(member.Data.data(), member.Data.size());
        members.push_back(std::move(member));
    }
    return qm::bench::BuildStoredZip(members).Bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror(path.c_str());
        std::exit(1);
    }
    ::close(fd);
}

// The file work a listing cannot avoid: open, read the last 64 KiB, read the directory the end
// record points at, close. Gives the number of directory bytes read.
std::size_t Floor(const std::vector<std::string>& files, std::vector<char>& tail, std::vector<char>& dir) {
    std::size_t total = 0;
    for (const std::string& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            std::perror(file.c_str());
            std::exit(1);
        }
        const std::size_t n = std::min<std::size_t>(st.st_size, tail.size());
        if (::pread(fd, tail.data(), n, st.st_size - static_cast<off_t>(n)) != static_cast<ssize_t>(n)) {
            std::exit(1);
        }
        std::uint32_t size = 0;
        std::uint32_t offset = 0;
        std::memcpy(&size, tail.data() + n - 22 + 12, 4);
        std::memcpy(&offset, tail.data() + n - 22 + 16, 4);
        dir.resize(std::max<std::size_t>(dir.size(), size));
        total += static_cast<std::size_t>(::pread(fd, dir.data(), size, offset));
        ::close(fd);
    }
    return total;
}

template <class F>
double BestOf(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned count = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 45000;
    const bool ownFolder = argc <= 2;
    fs::path folder;
    if (ownFolder) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qm-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    } else {
        folder = argv[2];
        fs::create_directories(folder);
    }

    std::vector<std::string> files;
    files.reserve(count);
    const double made = BestOf(1, [&] {
        for (unsigned i = 0; i < count; ++i) {
            files.push_back((folder / ("s" + std::to_string(i) + ".zip")).string());
            WriteAll(files.back(), ForgeArchive(i, 7));
        }
    });
    std::printf("zip listing: %u archives of 7 entries made in %.2f s in %s\n", count, made, folder.c_str());

    std::vector<char> tail(64 * 1024);
    std::vector<char> dir;
    Floor(files, tail, dir);  // into the page cache
    const double floor = BestOf(3, [&] { Floor(files, tail, dir); });

    qm::TZipMaster zip;
    long entries = 0;
    bool failed = false;
    const double listing = BestOf(3, [&] {
        entries = 0;
        for (const std::string& file : files) {
            zip.ErrCode = 0;
            zip.SetZipFilename(file);
            failed = failed || zip.ErrCode != 0;
            entries += zip.EntryCount();
        }
    });
    qm::TCrc32 crc;
    crc.LookInZip = true;
    const double crcList = BestOf(3, [&] {
        for (const std::string& file : files) {
            crc.FileName = file;
            crc.Clear();
            crc.Build();
        }
    });
    if (failed || entries != 7L * count) {
        std::printf("  listing FAILED: %ld entries\n", entries);
        return 1;
    }
    std::printf("  floor (open, read last 64 KiB, read directory, close): %9.0f archives/s\n", count / floor);
    std::printf(
        "  TZipMaster listing:                                    %9.0f archives/s (%.0f%% of the "
        "floor)\n",
        count / listing, 100 * floor / listing);
    std::printf(
        "  TCrc32 CRC lists (the scan's path):                    %9.0f archives/s (%.0f%% of the "
        "floor)\n",
        count / crcList, 100 * floor / crcList);
    if (ownFolder) {
        fs::remove_all(folder);
    }

    // Plain files: a 256 MiB image, from memory and through TCrc32 from the page cache.
    const std::size_t size = 256u << 20;
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; i += 4096) {
        image[i] = static_cast<char>(i >> 12);
    }
    static volatile std::uint32_t sink = 0;
    const double memory = BestOf(3, [&] { sink = sink ^ qm::Crc32Of(image.data(), image.size()); });
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qm-bench-crc-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0 || ::write(fd, image.data(), image.size()) != static_cast<ssize_t>(image.size())) {
        std::perror("image");
        return 1;
    }
    ::close(fd);
    image = std::string();
    crc.LookInZip = true;
    crc.FileName = name;
    const double file = BestOf(3, [&] {
        crc.Clear();
        crc.Build();
    });
    ::unlink(name.c_str());
    const double gib = static_cast<double>(size) / (1u << 30);
    std::printf(
        "plain-file CRC-32 of 256 MiB (libdeflate): %.1f GiB/s in memory, %.1f GiB/s from a cached "
        "file\n",
        gib / memory, gib / file);
    return 0;
}

#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include <zip.h>
#include <zlib.h>

#include "archive/crc32.h"
#include "cli/Cli.h"
#include "game_db/Datafile.h"

namespace qm::test {

void TempDirTest::SetUp() {
    std::random_device rd;
    root_ = fs::temp_directory_path() / ("qmtest-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(root_ / "datas");
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "QUILLMARK_DATA_DIR", "QUILLMARK_TEST_READONLY_DIRS"}) {
        const char* old = std::getenv(name);
        savedEnv_.emplace_back(name, old == nullptr ? std::string("\x01") : std::string(old));
    }
    ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root_ / "share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    ::setenv("QUILLMARK_DATA_DIR", DataDir().c_str(), 1);
    ::unsetenv("QUILLMARK_TEST_READONLY_DIRS");
}

void TempDirTest::TearDown() {
    for (const auto& [name, value] : savedEnv_) {
        if (value == "\x01") {
            ::unsetenv(name.c_str());
        } else {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
    }
    std::error_code ec;
    // Tests may leave read-only files behind; root removes them anyway.
    fs::remove_all(root_, ec);
}

fs::path TempDirTest::WriteFile(const fs::path& relative, std::string_view bytes) const {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string TempDirTest::ReadFile(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string RomLine(std::string_view set, std::string_view setDescription, std::string_view clone,
                    std::string_view cloneDescription, std::string_view rom, std::string_view crc,
                    std::string_view neoGeo, std::string_view own, std::string_view size) {
    std::string line;
    for (std::string_view field : {set, setDescription, clone, cloneDescription, rom, crc, neoGeo, own, size}) {
        line += '\xAC';
        line += field;
    }
    line += '\xAC';
    return line;
}

std::string Datafile(const std::vector<std::string>& romLines, std::string_view refName, std::string_view romPaths) {
    DatafileHeader header;
    header.Author = "test";
    header.Version = "1";
    header.RefName = refName;
    header.EmulatorVersion = "Test emulator";
    header.RomPaths = romPaths;
    std::string out;
    for (const std::string& line : FormatDatafileHeader(header)) {
        out += line + "\r\n";
    }
    for (const std::string& line : romLines) {
        out += line + "\r\n";
    }
    return out;
}

fs::path MakeZip(const fs::path& path, const std::vector<ZipEntrySpec>& entries) {
    fs::create_directories(path.parent_path());
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        ADD_FAILURE() << "cannot create " << path;
        return path;
    }
    for (const ZipEntrySpec& entry : entries) {
        if (!entry.Name.empty() && entry.Name.back() == '/') {
            zip_dir_add(archive, entry.Name.c_str(), ZIP_FL_ENC_RAW);
            continue;
        }
        zip_source_t* source = zip_source_buffer(archive, entry.Data.data(), entry.Data.size(), 0);
        const zip_int64_t index = zip_file_add(archive, entry.Name.c_str(), source, ZIP_FL_ENC_RAW);
        if (index < 0) {
            zip_source_free(source);
            ADD_FAILURE() << "cannot add " << entry.Name << " to " << path;
        }
    }
    if (zip_close(archive) != 0) {
        ADD_FAILURE() << "cannot write " << path << ": " << zip_strerror(archive);
        zip_discard(archive);
    }
    return path;
}

std::map<std::string, std::string> ArchiveListing(const fs::path& archive) {
    TCrc32 list;
    list.FileName = archive.string();
    list.LookInZip = true;
    list.Build();
    std::map<std::string, std::string> out;
    for (const TCrcItem& item : list.ItemList()) {
        out[item.Name] = item.Crc;
    }
    return out;
}

std::string CrcOf(std::string_view bytes) {
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(crc));
    return text;
}

std::string ForgeCrc(std::string_view crcHex) {
    std::uint32_t table[256];
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        }
        table[i] = c;
    }
    // Over four bytes the register's start value shifts out entirely: the final register is
    // the XOR of four table entries, each found from its top byte.
    const std::uint32_t target = ~static_cast<std::uint32_t>(std::stoul(std::string(crcHex), nullptr, 16));
    std::uint32_t indexes[4];
    std::uint32_t reg = target;
    for (int i = 3; i >= 0; --i) {
        for (std::uint32_t k = 0; k < 256; ++k) {
            if ((table[k] >> 24) == (reg >> 24)) {
                indexes[i] = k;
                reg = (reg ^ table[k]) << 8;
                break;
            }
        }
    }
    std::string bytes(4, '\0');
    reg = 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((reg ^ indexes[i]) & 0xFF);
        reg = (reg >> 8) ^ table[indexes[i]];
    }
    return bytes;
}

CliRun RunCliCommand(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.Status = RunCli(args, out, err);
    run.Out = out.str();
    run.Err = err.str();
    return run;
}

}  // namespace qm::test

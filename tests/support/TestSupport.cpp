#include "support/TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include <zip.h>
#include <zlib.h>

#include "cli/Cli.h"
#include "game_db/Datafile.h"

namespace qm::test {

void TempDirTest::SetUp() {
    std::random_device rd;
    root_ = fs::temp_directory_path() / ("qmtest-" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(root_ / "datas");
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "QUILLMARK_DATA_DIR",
                             "QUILLMARK_TEST_READONLY_DIRS"}) {
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

std::string CrcOf(std::string_view bytes) {
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(crc));
    return text;
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

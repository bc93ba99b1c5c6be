#include "config/DatafileImport.h"

#include <zip.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>

#include "config/ListXml.h"
#include "game_db/cel_strings.h"
#include "platform/Job.h"
#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// The clrmamepro text format.

TClrMameProReader::TClrMameProReader(TListingBuilder& builder, std::string source)
    : builder_(builder), source_(std::move(source)) {}

void TClrMameProReader::Feed(std::string_view bytes) {
    lines_.Feed(bytes, [this](std::string_view line) { Line(line); });
}

void TClrMameProReader::Finish() {
    lines_.Finish([this](std::string_view line) { Line(line); });
    builder_.Counts().SkippedLines += lines_.Overlong();
    if (!blocks_.empty()) {
        throw EListingError(source_ + ": the text ends inside the block opened on line " + std::to_string(openedAt_) +
                            " (a truncated file?)");
    }
}

void TClrMameProReader::Line(std::string_view line) {
    ++lineNumber_;
    std::size_t i = 0;
    while (i < line.size()) {
        if (static_cast<unsigned char>(line[i]) <= ' ') {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            // A quoted value runs to the next quote not escaped by a backslash, or to the line end.
            std::string value;
            std::size_t j = i + 1;
            for (; j < line.size() && line[j] != '"'; ++j) {
                if (line[j] == '\\' && j + 1 < line.size() && line[j + 1] == '"') {
                    ++j;
                }
                value += line[j];
            }
            Token(value, /*quoted=*/true);
            i = j + 1;
            continue;
        }
        std::size_t j = i;
        while (j < line.size() && static_cast<unsigned char>(line[j]) > ' ') {
            ++j;
        }
        Token(line.substr(i, j - i), /*quoted=*/false);
        i = j;
    }
}

void TClrMameProReader::Token(std::string_view token, bool quoted) {
    if (!quoted && token == "(") {
        Open();
    } else if (!quoted && token == ")") {
        Close();
    } else if (key_.empty()) {
        key_ = LowerCase(token);
    } else {
        Attribute(token);
        key_.clear();
    }
}

void TClrMameProReader::Open() {
    Block block = Block::Other;
    if (blocks_.empty()) {
        openedAt_ = lineNumber_;
        if (key_ == "clrmamepro" || key_ == "emulator") {
            block = Block::Header;
        } else if (key_ == "game" || key_ == "machine" || key_ == "resource") {
            block = Block::Game;
            builder_.StartGame();
        }
    } else if (blocks_.back() == Block::Game && key_ == "rom") {
        block = Block::Rom;
        rom_ = PendingRom();
    }
    blocks_.push_back(block);
    key_.clear();
}

void TClrMameProReader::Close() {
    key_.clear();
    if (blocks_.empty()) {
        return;  // a stray parenthesis closes nothing
    }
    const Block block = blocks_.back();
    blocks_.pop_back();
    if (block == Block::Rom) {
        builder_.AddRom(ListingRom{rom_.Name, rom_.Size, rom_.Crc, rom_.Merged, rom_.NoDump});
    }
}

void TClrMameProReader::Attribute(std::string_view value) {
    if (blocks_.empty()) {
        return;
    }
    switch (blocks_.back()) {
        case Block::Header:
            if (key_ == "name") {
                header_.Name = CleanListingText(value);
            } else if (key_ == "description") {
                header_.Description = CleanListingText(value);
            } else if (key_ == "version") {
                header_.Version = CleanListingText(value);
            }
            break;
        case Block::Game:
            if (key_ == "name") {
                builder_.SetName(value);
            } else if (key_ == "description") {
                builder_.SetDescription(value);
            } else if (key_ == "cloneof") {
                builder_.SetCloneOf(value);
            } else if (key_ == "romof") {
                builder_.SetRomOf(value);
            }
            break;
        case Block::Rom:
            if (key_ == "name") {
                rom_.Name = value;
            } else if (key_ == "size") {
                rom_.Size = value;
            } else if (key_ == "crc" || key_ == "crc32") {
                rom_.Crc = value;
            } else if (key_ == "merge") {
                rom_.Merged = true;
            } else if ((key_ == "status" || key_ == "flags") && value == "nodump") {
                rom_.NoDump = true;
            }
            break;
        case Block::Other:
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// Reading a file that may be compressed.

namespace {

// More than this once unpacked is no datafile but a bomb.
constexpr std::uint64_t kMaxUnpacked = std::uint64_t{2} << 30;
constexpr std::size_t kChunk = 1 << 20;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to n bytes; 0 at the end. Throws EListingError.
    virtual std::size_t Read(char* buffer, std::size_t n) = 0;
    // Progress through the file, in units of Total().
    virtual std::uint64_t Done() const = 0;
    virtual std::uint64_t Total() const = 0;
};

// A plain or gzip-compressed file: zlib reads both.
class GzipSource : public ByteSource {
public:
    explicit GzipSource(const fs::path& file) : file_(file) {
        std::error_code ec;
        total_ = fs::file_size(file, ec);
        gz_ = gzopen(file.c_str(), "rb");
        if (gz_ == nullptr) {
            throw EFileError(file, "cannot open");
        }
        gzbuffer(gz_, kChunk);
    }
    ~GzipSource() override { gzclose(gz_); }
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;

    std::size_t Read(char* buffer, std::size_t n) override {
        const int got = gzread(gz_, buffer, static_cast<unsigned>(n));
        int code = Z_OK;
        const char* why = gzerror(gz_, &code);
        // A truncated stream ends like a whole one, with the error kept aside (Z_BUF_ERROR).
        if (got < 0 || (got == 0 && code != Z_OK)) {
            throw EListingError(file_.string() + ": cannot be unpacked: " + (why != nullptr ? why : "gzip error"));
        }
        unpacked_ += static_cast<std::uint64_t>(got);
        if (gzdirect(gz_) == 0 && unpacked_ > kMaxUnpacked) {
            throw EListingError(file_.string() + ": unpacks to more than 2 GB; refused");
        }
        return static_cast<std::size_t>(got);
    }
    std::uint64_t Done() const override {
        const auto offset = gzoffset(gz_);
        return offset < 0 ? 0 : static_cast<std::uint64_t>(offset);
    }
    std::uint64_t Total() const override { return total_; }

private:
    fs::path file_;
    gzFile gz_ = nullptr;
    std::uint64_t total_ = 0;
    std::uint64_t unpacked_ = 0;
};

// The one datafile (".dat" or ".xml", or the only file) of a zip archive.
class ZipSource : public ByteSource {
public:
    explicit ZipSource(const fs::path& file) : file_(file) {
        int error = 0;
        archive_ = zip_open(file.c_str(), ZIP_RDONLY, &error);
        if (archive_ == nullptr) {
            zip_error_t z;
            zip_error_init_with_code(&z, error);
            const std::string why = zip_error_strerror(&z);
            zip_error_fini(&z);
            throw EListingError(file.string() + ": cannot be read as a zip archive: " + why);
        }
        const zip_int64_t index = ChooseEntry();
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) == 0 &&
            (stat.valid & ZIP_STAT_SIZE) != 0) {
            total_ = stat.size;
        }
        member_ = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
        if (member_ == nullptr) {
            throw EListingError(file.string() + ": cannot read " + entry_ + ": " + zip_strerror(archive_));
        }
    }
    ~ZipSource() override {
        if (member_ != nullptr) {
            zip_fclose(member_);
        }
        zip_discard(archive_);
    }
    ZipSource(const ZipSource&) = delete;
    ZipSource& operator=(const ZipSource&) = delete;

    std::size_t Read(char* buffer, std::size_t n) override {
        const zip_int64_t got = zip_fread(member_, buffer, n);
        if (got < 0) {
            throw EListingError(file_.string() + ": cannot read " + entry_ + ": " + zip_file_strerror(member_));
        }
        done_ += static_cast<std::uint64_t>(got);
        if (done_ > kMaxUnpacked) {
            throw EListingError(file_.string() + ": " + entry_ + " unpacks to more than 2 GB; refused");
        }
        return static_cast<std::size_t>(got);
    }
    std::uint64_t Done() const override { return done_; }
    std::uint64_t Total() const override { return total_; }

private:
    zip_int64_t ChooseEntry() {
        std::vector<zip_int64_t> datafiles;
        std::vector<zip_int64_t> files;
        std::string names;
        const zip_int64_t count = zip_get_num_entries(archive_, 0);
        for (zip_int64_t i = 0; i < count; ++i) {
            const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
            if (name == nullptr || std::string_view(name).ends_with('/')) {
                continue;
            }
            files.push_back(i);
            if (EndsWithText(name, ".dat") || EndsWithText(name, ".xml")) {
                datafiles.push_back(i);
                names += (names.empty() ? "" : ", ") + DisplayText(name);
            }
        }
        const std::vector<zip_int64_t>& candidates = datafiles.empty() ? files : datafiles;
        if (candidates.size() != 1) {
            throw EListingError(file_.string() + (candidates.empty() ? ": the zip archive holds no file"
                                                                     : ": the zip archive holds several datafiles (" +
                                                                           names + "): unpack the one to import"));
        }
        entry_ = zip_get_name(archive_, static_cast<zip_uint64_t>(candidates[0]), 0);
        return candidates[0];
    }

    fs::path file_;
    zip_t* archive_ = nullptr;
    zip_file_t* member_ = nullptr;
    std::string entry_;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
};

bool StartsAsZip(const fs::path& file) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    char magic[4] = {};
    const std::size_t got = std::fread(magic, 1, 4, f);
    std::fclose(f);
    return got == 4 && std::string_view(magic, 4) == std::string_view("PK\x03\x04", 4);
}

enum class Format { Xml, Text, Quillmark };

// Known from the first bytes: XML starts with '<' (after a byte-order mark and blanks), a
// Quillmark datafile with its "[CREDITS]" or another section line.
Format Sniff(std::string_view head) {
    if (head.starts_with("\xEF\xBB\xBF")) {
        head.remove_prefix(3);
    } else if (head.starts_with("\xFF\xFE") || head.starts_with("\xFE\xFF")) {
        return Format::Xml;  // UTF-16, which only XML declares
    }
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && head[first] == '<') {
        return Format::Xml;
    }
    if (first != std::string_view::npos && head[first] == '[') {
        const std::string lower = LowerCase(head.substr(first, 512));
        if (lower.starts_with("[credits]") || lower.starts_with("[dat]") || lower.starts_with("[emulator]") ||
            lower.starts_with("[games]")) {
            return Format::Quillmark;
        }
    }
    return Format::Text;
}

}  // namespace

ImportedListing ImportListing(const fs::path& file, TDatafile& datafile, Job& job) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        throw EFileError(file, fs::exists(file, ec) ? "not a file" : "not found");
    }
    std::unique_ptr<ByteSource> source;
    if (StartsAsZip(file)) {
        source = std::make_unique<ZipSource>(file);
    } else {
        source = std::make_unique<GzipSource>(file);
    }
    std::vector<char> buffer(kChunk);
    std::size_t got = source->Read(buffer.data(), buffer.size());
    const std::string_view head(buffer.data(), got);
    const Format format = Sniff(head);
    if (format == Format::Quillmark) {
        throw EListingError(file.string() + " is a Quillmark datafile already: add it with \"profiles add\"");
    }

    job.Status("Extracting Games...");
    TListingBuilder& builder = datafile.BeginListing(ListingKind::Mame);
    std::optional<TListXmlReader> xml;
    std::optional<TClrMameProReader> text;
    if (format == Format::Xml) {
        xml.emplace(builder, file.string());
    } else {
        text.emplace(builder, file.string());
    }
    while (got > 0) {
        job.CheckCancel("Import cancelled by the user !");
        const std::string_view piece(buffer.data(), got);
        if (xml) {
            xml->Feed(piece);
        } else {
            text->Feed(piece);
        }
        job.Progress(source->Done(), source->Total());
        got = source->Read(buffer.data(), buffer.size());
    }
    ImportedListing imported;
    if (xml) {
        xml->Finish();
        imported.Header = xml->Header();
        imported.Format = imported.Header.FromMame ? "MAME XML" : "Logiqx XML";
    } else {
        text->Finish();
        imported.Header = text->Header();
        imported.Format = "clrmamepro text";
    }
    try {
        datafile.EndListing(job);
    } catch (const EListingError& e) {
        throw EListingError(file.string() + ": " + e.what());
    }
    return imported;
}

}  // namespace qm

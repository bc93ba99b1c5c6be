// Datafiles as users download them today, turned into Quillmark datafiles by the builder's
// rules (DataFile.h, MAME mode): Logiqx XML (ListXml.h) and the clrmamepro text format, whose
// "clrmamepro ( ... )" block describes the file and whose "game ( ... )" blocks (also "machine"
// and "resource") hold "name", "description", "cloneof", "romof" and
// "rom ( name N size S crc C merge M status nodump )" (any order; "crc32" and "flags nodump"
// too; values with blanks in double quotes). Either may come plain, gzip-compressed or as the
// one datafile of a zip archive; it is read as a stream.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "config/DataFile.h"

namespace qm {

class Job;

// Reads the clrmamepro text format piece by piece.
class TClrMameProReader {
public:
    TClrMameProReader(TListingBuilder& builder, std::string source);
    void Feed(std::string_view bytes);
    // Throws EListingError when the text ends inside a block (a truncated file).
    void Finish();
    const ListingHeader& Header() const { return header_; }

private:
    enum class Block { Header, Game, Rom, Other };
    void Line(std::string_view line);
    void Token(std::string_view token, bool quoted);
    void Open();
    void Close();
    void Attribute(std::string_view value);

    TListingBuilder& builder_;
    std::string source_;
    ListingHeader header_;
    LineAssembler lines_;
    std::size_t lineNumber_ = 0;
    std::vector<Block> blocks_;
    std::size_t openedAt_ = 0;  // line of the outermost open block
    std::string key_;           // a key waiting for its value
    // The ROM block being read; it may span lines.
    struct PendingRom {
        std::string Name;
        std::string Size;
        std::string Crc;
        bool Merged = false;
        bool NoDump = false;
    };
    PendingRom rom_;
};

struct ImportedListing {
    ListingHeader Header;
    std::string Format;  // "Logiqx XML", "MAME XML" or "clrmamepro text"
};

// Reads `file` into `datafile` (BeginListing to EndListing, MAME mode). Throws EFileError for a
// file that cannot be read, EListingError for one that is no listing, is truncated or holds no
// game, and ECancelClick when the job is cancelled. A compressed file unpacking to more than
// 2 GB is refused.
ImportedListing ImportListing(const std::filesystem::path& file, TDatafile& datafile, Job& job);

}  // namespace qm

// Game listings in XML, read as a stream while they arrive: MAME's `-listxml` (<mame>, one
// <machine> per game) and the Logiqx datafiles that MAME, No-Intro and Redump publish
// (<datafile>, a <header>, one <game> or <machine> per game). Of a game, the attributes name,
// cloneof and romof, the <description> and its <rom name size crc merge status> elements are
// read; everything else is passed over.
//
// The document never sits in memory as a whole. Entity declarations are refused (no external
// entity is ever loaded and no entity is ever expanded, so neither a file of the machine nor an
// expansion bomb can reach the listing), and so is a tag or text run longer than 16 MB.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "config/DataFile.h"

namespace qm {

class TListXmlReader {
public:
    // `source` names the document in error messages (a file, or the emulator's command).
    TListXmlReader(TListingBuilder& builder, std::string source);
    ~TListXmlReader();
    TListXmlReader(const TListXmlReader&) = delete;
    TListXmlReader& operator=(const TListXmlReader&) = delete;

    // Both throw EListingError, naming the source and the line, for a document that is not
    // well-formed XML, declares entities, or (Finish) ends before its root element is closed.
    void Feed(std::string_view bytes);
    void Finish();

    const ListingHeader& Header() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace qm

// Feeds arbitrary bytes to both text listing readers, the emulators' -listinfo (MAME and Raine
// rules) and the clrmamepro format, in pieces, and builds the datafile's ROM lines.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/DataFile.h"
#include "config/DatafileImport.h"
#include "platform/Job.h"

namespace {

template <class Read>
void Build(qm::ListingKind kind, Read&& read) {
    qm::TDatafile datafile;
    try {
        read(datafile.BeginListing(kind));
        datafile.EndListing(qm::SilentJob());
    } catch (const qm::EListingError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t piece = 1 + data[0] % 64;
    const qm::ListingKind kind = (data[0] & 0x80) != 0 ? qm::ListingKind::Raine : qm::ListingKind::Mame;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    auto feed = [&](auto& reader) {
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            reader.Feed(bytes.substr(at, piece));
        }
        reader.Finish();
    };
    Build(kind, [&](qm::TListingBuilder& builder) {
        qm::TListInfoReader reader(builder, kind);
        feed(reader);
    });
    Build(qm::ListingKind::Mame, [&](qm::TListingBuilder& builder) {
        qm::TClrMameProReader reader(builder, "fuzz");
        feed(reader);
    });
    return 0;
}

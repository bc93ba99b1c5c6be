// Feeds arbitrary bytes to the XML listing reader (MAME -listxml, Logiqx) in pieces, and builds
// the datafile's ROM lines from whatever it accepted.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/DataFile.h"
#include "config/ListXml.h"
#include "platform/Job.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    // The first byte chooses the piece size, so that tokens get cut anywhere.
    const std::size_t piece = 1 + data[0] % 64;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    qm::TDatafile datafile;
    try {
        qm::TListXmlReader reader(datafile.BeginListing(qm::ListingKind::Mame), "fuzz");
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            reader.Feed(bytes.substr(at, piece));
        }
        reader.Finish();
        datafile.EndListing(qm::SilentJob());
    } catch (const qm::EListingError&) {
    }
    return 0;
}

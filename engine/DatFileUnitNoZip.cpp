// Stand-in for builds whose archive layer has no implementation yet: the core must still link,
// and a cache that was asked to list an archive it cannot read must not be written.
#include "engine/DatFileUnit.h"

namespace qm {

TZipMaster::TZipMaster() = default;
TZipMaster::~TZipMaster() = default;

bool TDatFile::AddZipListing(const std::filesystem::path& /*archivePath*/) {
    Zip.ErrCode = zmNoZipSpecified;
    MarkIncomplete();
    return false;
}

}  // namespace qm

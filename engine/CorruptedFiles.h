// What becomes of an archive that cannot be read: left where it is, moved to the folder the
// user chose, or deleted, as the corrupted-file option of the audit and the repair says. Only
// real read failures of an archive come here (the scan's, and the repair's archive operations).
#pragma once

#include <cstddef>
#include <string>

#include "engine/RomsFiles.h"
#include "platform/Job.h"

namespace qm {

class TDatFile;

class TCorruptedFiles {
public:
    TCorruptedFiles(TDatFile& dirCache, const TCheckOptions& options, Job& job);

    // Applies the option to the archive; its lines (the message, what was done) go to the job
    // as problem lines. A move or deletion that fails is counted, not thrown. Throws
    // ECancelClick once the user asked to stop: nothing more changes on disk then.
    void Handle(const std::string& archivePath, const std::string& message);
    // Handle, as the scan calls it for each archive it cannot read.
    UnreadableArchiveHandler Handler() {
        return [this](const std::string& path, const std::string& message) { Handle(path, message); };
    }

    // Archives moved or deleted, and those that could not be.
    std::size_t Handled() const { return handled_; }
    std::size_t Failed() const { return failed_; }

private:
    TDatFile& dirCache_;
    const TCheckOptions& options_;
    Job& job_;
    std::size_t handled_ = 0;
    std::size_t failed_ = 0;
};

}  // namespace qm

#include "engine/FilesTools.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

void MoveFileOrCopy(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    fs::path target = fs::absolute(destination, ec);
    if (ec) {
        target = destination;
    }
    if (::rename(source.c_str(), target.c_str()) == 0) {
        SyncDirectory(target.parent_path());
        return;
    }
    if (FileHasAttr(source, faReadOnly)) {
        throw EFCantMove("Can't move file. (readonly)");
    }
    if (const int err = CopyFileReplacing(source, target); err != 0) {
        throw EFCantMove(std::string("Can't copy file. (") + std::strerror(err) + ")");
    }
    if (::unlink(source.c_str()) != 0) {
        throw EFCantMove(std::string("Can't delete original. (") + std::strerror(errno) + ")");
    }
    SyncDirectory(fs::absolute(source, ec).parent_path());
}

int ExecAndWait(const std::vector<std::string>& argv, bool wait, bool /*minimized*/, const fs::path& stdoutFile) {
    return RunProcess(argv, wait, stdoutFile);
}

}  // namespace qm

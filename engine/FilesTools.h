// File-system and process operations of the engine, the configuration and the programs.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace qm {

// File attribute bits as the tools test them (the low 16 bits of an attribute mask).
enum FileAttribute : unsigned {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faDirectory = 0x10,
    faArchive = 0x20,
};

// True when every bit of the low 16 bits of `attributes` is set on the file; a file that does
// not exist has no attributes. Read-only = no owner-write bit; hidden = name starts with '.'.
bool FileHasAttr(const std::filesystem::path& fileName, unsigned attributes);

// False when `directory` is not a directory; true when its file system is mounted read-only or
// this process may not write into it. The environment variable QUILLMARK_TEST_READONLY_DIRS
// (directories separated by ':') declares directories read-only as well: tests run as root,
// which writes anywhere, and use it to stand for read-only media.
bool IsReadOnlyMedium(const std::filesystem::path& directory);

}  // namespace qm

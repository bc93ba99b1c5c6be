#include "engine/FilesTools.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace qm {

namespace fs = std::filesystem;

namespace {

std::string CanonicalText(const fs::path& p) {
    std::error_code ec;
    std::string text = fs::weakly_canonical(p, ec).lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool DeclaredReadOnly(const fs::path& directory) {
    const char* list = std::getenv("QUILLMARK_TEST_READONLY_DIRS");
    if (list == nullptr || *list == '\0') {
        return false;
    }
    const std::string target = CanonicalText(directory);
    std::string_view rest = list;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view item = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        if (item.empty()) {
            continue;
        }
        const std::string declared = CanonicalText(fs::path(item));
        if (target == declared || (target.starts_with(declared) && target[declared.size()] == '/')) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool FileHasAttr(const fs::path& fileName, unsigned attributes) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) {
        return false;
    }
    unsigned have = faArchive;
    if ((st.st_mode & S_IWUSR) == 0) {
        have |= faReadOnly;
    }
    if (S_ISDIR(st.st_mode)) {
        have |= faDirectory;
        have &= ~static_cast<unsigned>(faArchive);
    }
    const std::string name = fileName.filename().string();
    if (!name.empty() && name[0] == '.') {
        have |= faHidden;
    }
    const unsigned wanted = attributes & 0xFFFFu;
    return (have & wanted) == wanted;
}

bool IsReadOnlyMedium(const fs::path& directory) {
    std::error_code ec;
    if (!fs::is_directory(directory, ec)) {
        return false;
    }
    if (DeclaredReadOnly(directory)) {
        return true;
    }
    struct statvfs vfs {};
    if (::statvfs(directory.c_str(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY) != 0) {
        return true;
    }
    return ::access(directory.c_str(), W_OK) != 0;
}

}  // namespace qm

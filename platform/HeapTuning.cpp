#include "platform/HeapTuning.h"

#include <unistd.h>

#include <cstdlib>

namespace qm {

void RestartWithHugePageHeap(char** argv) {
    if (std::getenv("GLIBC_TUNABLES") != nullptr || std::getenv("QUILLMARK_NO_HEAP_TUNING") != nullptr) {
        return;
    }
    if (::setenv("GLIBC_TUNABLES", "glibc.malloc.hugetlb=1", 1) != 0) {
        return;
    }
    ::execv("/proc/self/exe", argv);
    // The restart failed: go on with the ordinary heap.
    ::unsetenv("GLIBC_TUNABLES");
}

}  // namespace qm

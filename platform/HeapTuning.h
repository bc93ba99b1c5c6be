// Loading a full datafile or scanning a full collection allocates some hundred megabytes in
// small pieces; on virtual machines each first touch of a 4 KiB page is a costly fault. glibc
// can back its heap with transparent huge pages (tunable glibc.malloc.hugetlb=1), but reads
// tunables only when a program starts, so the programs restart themselves once with it set.
#pragma once

namespace qm {

// Re-executes the running program with the huge-page heap tunable, unless GLIBC_TUNABLES is
// already set (then the user's choice stands) or QUILLMARK_NO_HEAP_TUNING is set. Returns
// only when no restart happened.
void RestartWithHugePageHeap(char** argv);

}  // namespace qm

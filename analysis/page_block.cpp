// Zero-filled page-mapped blocks, made resident at once.
#include "page_block.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

bool can_back(std::size_t bytes) {
    // Beyond what is available, populating would have the kernel's
    // out-of-memory killer end a process instead of failing the call. Small
    // requests are not worth the reading.
    if (bytes < (std::size_t(16) << 20)) return true;
    FILE *f = std::fopen("/proc/meminfo", "r");
    if (!f) return true;
    char line[128];
    unsigned long long kib = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
        found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    std::fclose(f);
    return !found || bytes / 1024 <= kib;
}

bool make_resident(void *p, std::size_t bytes) {
    if (bytes == 0) return true;
    const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
    const std::uintptr_t to = reinterpret_cast<std::uintptr_t>(p) + bytes;
    // One call maps every page, where a first write to each would take a fault
    // of its own; it fails, rather than the process later, when they cannot be
    // backed. Kernels without it: every page written with what it holds.
#ifdef MADV_POPULATE_WRITE
    if (madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE) == 0) return true;
    if (errno != EINVAL) return false;
#endif
    auto *c = static_cast<volatile char *>(p);
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(p);
    // The first byte of the range, then the first of every later page in it.
    for (std::uintptr_t at = base; at < to; at = (at & ~(page - 1)) + page)
        c[at - base] = c[at - base];
    return true;
}

bool page_block::alloc(std::size_t n) {
    release();
    if (n == 0) return true;
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    if (n > (SIZE_MAX - page) / sizeof(float)) return false;
    const std::size_t bytes = (n * sizeof(float) + page - 1) / page * page;
    if (!can_back(bytes)) return false;
    void *m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED) return false;
    if (!make_resident(m, bytes)) {
        munmap(m, bytes);
        return false;
    }
    data_ = static_cast<float *>(m);
    n_ = n;
    bytes_ = bytes;
    return true;
}

void page_block::release() {
    if (data_) munmap(data_, bytes_);
    data_ = nullptr;
    n_ = bytes_ = 0;
}

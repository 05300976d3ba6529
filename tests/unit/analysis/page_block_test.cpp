// Blocks of the solve are zero-filled and wholly resident once they are had,
// whatever the kernel does with untouched pages; and a lazily mapped range
// is made resident in place, its contents kept.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "page_block.h"

namespace {

const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));

// Number of the pages of [p, p + bytes) that are resident.
std::size_t resident(const void *p, std::size_t bytes) {
    std::vector<unsigned char> vec((bytes + page - 1) / page);
    EXPECT_EQ(mincore(const_cast<void *>(p), bytes, vec.data()), 0);
    std::size_t n = 0;
    for (unsigned char v : vec)
        n += v & 1;
    return n;
}

TEST(PageBlock, ZeroFilledAndWhollyResidentWhenHad) {
    for (std::size_t n : {std::size_t(1), page / 4 + 1, std::size_t(3) << 20}) {
        SCOPED_TRACE(n);
        page_block b;
        ASSERT_TRUE(b.alloc(n));
        ASSERT_NE(b.data(), nullptr);
        EXPECT_EQ(b.size(), n);
        EXPECT_EQ(b.mapped() % page, 0u);
        EXPECT_GE(b.mapped(), n * sizeof(float));
        EXPECT_LT(b.mapped(), n * sizeof(float) + page);
        EXPECT_EQ(resident(b.data(), b.mapped()), b.mapped() / page);
        for (std::size_t i = 0; i < n; i += 997)
            EXPECT_EQ(std::memcmp(&b.data()[i], "\0\0\0\0", 4), 0);
    }
    page_block empty;
    EXPECT_TRUE(empty.alloc(0));
    EXPECT_EQ(empty.data(), nullptr);
    EXPECT_EQ(empty.mapped(), 0u);
}

TEST(PageBlock, ReleaseUnmapsAndTooLargeFails) {
    page_block b;
    ASSERT_TRUE(b.alloc(page));
    void *p = b.data();
    const std::size_t bytes = b.mapped();
    b.release();
    EXPECT_EQ(b.data(), nullptr);
    unsigned char v[4];
    EXPECT_EQ(mincore(p, bytes, v), -1); // no longer mapped
    EXPECT_FALSE(b.alloc(SIZE_MAX / 2));
    EXPECT_EQ(b.data(), nullptr);
}

// What the kernel reports available, in bytes; 0 when it reports nothing.
std::size_t available() {
    std::size_t kib = 0;
    if (FILE *f = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %zu kB", &kib) == 1) break;
        std::fclose(f);
    }
    return kib * 1024;
}

TEST(PageBlock, MoreThanTheKernelCanBackIsRefusedBeforeMapping) {
    const std::size_t avail = available();
    if (avail == 0) GTEST_SKIP() << "the kernel reports no available memory";
    EXPECT_TRUE(can_back(std::size_t(1) << 20));
    // Within the address space and, on most machines, within what a mapping
    // may reserve, but more than the memory at hand.
    const std::size_t over = avail + (std::size_t(256) << 20);
    EXPECT_FALSE(can_back(over));
    page_block b;
    EXPECT_FALSE(b.alloc(over / sizeof(float)));
    EXPECT_EQ(b.data(), nullptr);
}

TEST(PageBlock, LazyRangeMadeResidentInPlace) {
    const std::size_t bytes = 64 * page;
    void *m = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(m, MAP_FAILED);
    auto *c = static_cast<unsigned char *>(m);
    c[5 * page + 7] = 42;
    // A range that starts and ends inside pages: those pages count whole.
    ASSERT_TRUE(make_resident(c + 10 * page + 100, 20 * page));
    EXPECT_EQ(resident(c + 10 * page, 21 * page), 21u);
    EXPECT_EQ(resident(c + 40 * page, 24 * page), 0u);
    EXPECT_EQ(c[5 * page + 7], 42);
    EXPECT_EQ(c[10 * page + 100], 0);
    EXPECT_TRUE(make_resident(c, 0));
    munmap(m, bytes);
}

} // namespace

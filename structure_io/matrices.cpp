// Dense tables of single-precision values, and the writers of list bodies.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>

#include "sio_private.h"

namespace {

// Kept just before a table's row-pointer array: how its rows were allocated.
// Long rows share one anonymous mapping, each row on pages of its own, so
// that the pages a solve never touches are never made resident; short rows
// are separate calloc blocks.
struct alignas(16) table_head {
    void *map;           // the rows' mapping, or null for calloc rows
    std::size_t map_len; // its length in bytes
};

constexpr std::size_t long_row = 64 * 1024; // bytes from which rows are mapped
constexpr std::size_t page = 4096;

} // namespace

Kmatrix Kalloc(int rows, int cols) {
    std::size_t nrows = rows > 0 ? std::size_t(rows) : 0;
    std::size_t ncols = cols > 0 ? std::size_t(cols) : 0;
    // At least one pointer, so that an empty table is a valid, non-null block.
    if (nrows > (SIZE_MAX - sizeof(table_head)) / sizeof(float *) - 1) return nullptr;
    auto head = static_cast<table_head *>(
        std::calloc(1, sizeof(table_head) + (nrows ? nrows : 1) * sizeof(float *)));
    if (!head) return nullptr;
    auto K = reinterpret_cast<Kmatrix>(head + 1);
    std::size_t bytes = ncols * sizeof(float);
    if (nrows > 0 && ncols <= SIZE_MAX / sizeof(float) && bytes >= long_row) {
        std::size_t stride = (bytes + page - 1) / page * page;
        if (nrows > SIZE_MAX / stride) return nullptr;
        void *m = mmap(nullptr, nrows * stride, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                       -1, 0);
        if (m == MAP_FAILED) return nullptr;
        head->map = m;
        head->map_len = nrows * stride;
        for (std::size_t i = 0; i < nrows; i++)
            K[i] = reinterpret_cast<float *>(static_cast<char *>(m) + i * stride);
        return K;
    }
    // At least one element each, so that an empty row is a valid, non-null block.
    for (std::size_t i = 0; i < nrows; i++) {
        K[i] = static_cast<float *>(std::calloc(ncols ? ncols : 1, sizeof(float)));
        if (!K[i]) return nullptr;
    }
    return K;
}

void Kfree(int rows, Kmatrix K) {
    if (!K) return;
    table_head *head = reinterpret_cast<table_head *>(K) - 1;
    if (head->map) {
        munmap(head->map, head->map_len);
    } else {
        for (int i = 0; i < rows; i++) std::free(K[i]);
    }
    std::free(head);
}

void out_ddn(int nn, const float *d) {
    for (int k = 1; k <= nn; k++)
        std::fprintf(sio_out, "\t%g\t%g\t# node %d\n", double(d[2 * (k - 1)]),
                     double(d[2 * (k - 1) + 1]), k);
}

void out_matrix(int rows, int cols, Kmatrix K) {
    for (int i = 0; i < rows; i++) {
        std::fputc('\t', sio_out);
        for (int j = 0; j < cols; j++) std::fprintf(sio_out, "%g  ", double(K[i][j]));
        std::fputc('\n', sio_out);
    }
}

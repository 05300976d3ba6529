// Dense tables of single-precision values, and the writers of list bodies.
#include <cstdlib>

#include "sio_private.h"

Kmatrix Kalloc(int rows, int cols) {
    std::size_t nrows = rows > 0 ? std::size_t(rows) : 0;
    std::size_t ncols = cols > 0 ? std::size_t(cols) : 0;
    // At least one element each, so that an empty table or row is a valid, non-null block.
    auto K = static_cast<Kmatrix>(std::calloc(nrows ? nrows : 1, sizeof(float *)));
    if (!K) return nullptr;
    for (std::size_t i = 0; i < nrows; i++) {
        K[i] = static_cast<float *>(std::calloc(ncols ? ncols : 1, sizeof(float)));
        if (!K[i]) return nullptr;
    }
    return K;
}

void Kfree(int rows, Kmatrix K) {
    if (!K) return;
    for (int i = 0; i < rows; i++) std::free(K[i]);
    std::free(K);
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

// Readers of the lists whose records name their node: Q/R and P loads, V
// constraints, and the matrix list X.
#include <cmath>

#include "sio_private.h"

namespace {

// The matrix this reader created, and its size: later X lists never store
// outside it, whatever counts they are read with.
Kmatrix made = nullptr;
long long made_rows = 0, made_cols = 0;

bool in_range(int value, int low, int high) { return value >= low && value <= high; }

// Entry of node `node` (1-based), direction `dir` (1 or 2).
std::size_t slot(int node, int dir) { return 2 * (std::size_t(node) - 1) + std::size_t(dir) - 1; }

} // namespace

void node_readers_reset() {
    made = nullptr;
    made_rows = made_cols = 0;
}

// The load array is created zero-filled for the node count in force; when a
// longer C list came after it, it grows zero-filled, every entry keeping its place.
int in_qdn(int nn, float_list *q, int echo) {
    grow_to(q, 2 * std::size_t(nn > 0 ? nn : 0));
    for (;;) {
        int node, dir;
        float value;
        if (in_int(&node, echo) != READ_OK) return 0;
        if (int r = in_int(&dir, echo)) return r;
        if (int r = in_float(&value, echo)) return r;
        if (!in_range(node, 1, nn) || !in_range(dir, 1, 2)) return 1;
        macro_component(node, dir, value);
        if (q) (*q)[slot(node, dir)] += value;
    }
}

int in_pdn(int nn, float_list *q, int echo) {
    grow_to(q, 2 * std::size_t(nn > 0 ? nn : 0));
    for (;;) {
        int node;
        float modulus, angle;
        if (in_int(&node, echo) != READ_OK) return 0;
        if (int r = in_float(&modulus, echo)) return r;
        if (modulus < 0) {
            modulus = -modulus;
            aviso(prgcpy, "modulus must be a positive number: fixed");
        }
        if (int r = in_float(&angle, echo)) return r;
        if (!in_range(node, 1, nn)) return 1;
        macro_polar(node, modulus, angle);
        if (q) {
            std::size_t i = slot(node, 1);
            double radians = double(angle) * 3.141592653589793 / 180.0;
            (*q)[i] = float(std::cos(radians) * double(modulus) + double((*q)[i]));
            (*q)[i + 1] = float(std::sin(radians) * double(modulus) + double((*q)[i + 1]));
        }
    }
}

int in_V(int nn, int_list *v, float_list *d, int echo) {
    std::size_t n2 = 2 * std::size_t(nn > 0 ? nn : 0);
    grow_to(v, n2);
    resize_to(d, n2); // entries added here are zero
    for (;;) {
        int node, dir;
        float value;
        if (in_int(&node, echo) != READ_OK) return 0;
        if (int r = in_int(&dir, echo)) return r;
        if (int r = in_float(&value, echo)) return r;
        if (!in_range(node, 1, nn)) return 1;
        if (!in_range(dir, 1, 2)) return 1;
        if (v) (*v)[slot(node, dir)] = 1;
        if (d) (*d)[slot(node, dir)] = value;
    }
}

int in_matrizB(int nn, int nb, Kmatrix *B, int echo) {
    long long cols = 2LL * nn;
    long long limit = 2LL * nb * nn;
    if (B && !*B) {
        *B = Kalloc(nb, int(cols));
        if (!*B) fin(prgcpy, "out of memory");
        made = *B;
        made_rows = nb;
        made_cols = cols;
    }
    long long rows = B && *B == made ? made_rows : nb;
    long long width = B && *B == made ? made_cols : cols;
    long long count = 0;
    if (cols <= 0) return 0; // a row of no values: nothing can be read
    for (long long row = 0;; row++) {
        for (long long col = 0; col < cols; col++) {
            float x;
            if (in_float(&x, echo) != READ_OK) return col == 0 ? 0 : 1;
            if (++count > limit) fin(prgcpy, "List X has too many numbers!");
            if (B && row < rows && col < width) (*B)[row][col] = x;
        }
    }
}

// The elimination loops exactly as the solver's steps are written, kept as the
// reference that the fast elimination must match bit for bit.
#pragma once

#include <cstdint>
#include <cstring>

#include "elimination.h"

/// x * y as written: where both are NaN, x's NaN, quieted, which is what the
/// processor returns for its first source operand. The compiler takes the two
/// operands of a product in either order, so the order is made explicit.
inline float written_product(float x, float y) {
    if (x != x && y != y) {
        std::uint32_t u;
        std::memcpy(&u, &x, sizeof u);
        u |= 0x00400000u;
        std::memcpy(&x, &u, sizeof u);
        return x;
    }
    return x * y;
}

/// Solves K a = rhs in place with the plain loops; same contract as gauss_solve.
inline int reference_solve(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx) {
    if (ni <= 0) return 0;
    for (int k = 0; k < ni - 1; k++) {
        float p = K[k][k];
        if (print) print(k + 1, p, ctx);
        if (p == 0.0f) return 1;
        float *rk = K[k];
        for (int c = 0; c < ni; c++) rk[c] = rk[c] / p;
        a[k] = a[k] / p;
        for (int r = k + 1; r < ni; r++) {
            float *rr = K[r];
            float f = rr[k];
            for (int c = k + 1; c < ni; c++) rr[c] = rr[c] - written_product(rk[c], f);
            a[r] = a[r] - written_product(a[k], f);
        }
    }
    float p = K[ni - 1][ni - 1];
    if (print) print(ni, p, ctx);
    if (p == 0.0f) return 1;
    a[ni - 1] = a[ni - 1] / p;
    for (int k = ni - 2; k >= 0; k--) {
        for (int c = k + 1; c < ni; c++) a[k] = a[k] - written_product(K[k][c], a[c]);
        a[k] = a[k] / K[k][k];
    }
    return 0;
}

// Gauss elimination without row exchanges, reordered for speed while every
// value it hands on stays the one that the plain right-looking loops give.
//
// The plain loops apply to each element K(r, c) the updates
//     K(r, c) = K(r, c) - U(k, c) * L(r, k),   k = 1, 2, ..., min(r, c) - 1,
// where U(k, c) is row k after its division by the pivot and L(r, k) is K(r, k)
// as it stands when step k starts. Any ordering that computes the same U and L
// values and hands each element its updates in increasing k, one rounded
// multiply and one rounded subtraction each, gives the same bits. Here:
//   - panels of b steps: the panel's rows are reduced left-looking over the
//     panel's columns; the panel's rows beyond it and the rows below it are
//     reduced against the panel's triangle by register tiles (the terms of the
//     finished steps as a product, then those of the tile's own steps, one by
//     one); the rest of the matrix is updated by one register-blocked product
//     that subtracts the panel's terms one by one in step order;
//   - work is limited to each row's and column's reach (the envelope); outside
//     it the updates subtract exact zeros. That leaves the plain loops' values
//     only while every factor that meets such a zero is finite and no target
//     is -0, so the envelope is used only when the input holds no -0 and no
//     inf or NaN, and the factors are checked before anything is printed;
//     otherwise the caller solves the full table.
// The solution needs only U, the pivots and the L factors as they stand at
// their step, so the lower rows are never divided: nothing reads them after.
// Where a product meets two NaNs, the processor returns the NaN of one of them,
// which depends on the order in which the compiler takes the operands. The
// plain loops and the fast code therefore make such a product x * x (x's NaN,
// quieted) for the loops' x * y: over the full table, which infinities and
// NaNs reach, every path gives the same NaN signs. (Which sign an invalid
// operation such as 0 * inf gives is the processor's: -nan on x86, +nan on
// arm64; both paths take it alike.)
//
// The kernels are written once, with GCC's vector types, and inlined into one
// entry per set: a portable set, and on x86 a set compiled for AVX2, which
// processors that have it take; fused multiply-add stays off (no "fma" target).
#include "elimination.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "test_switches.h"

#if defined(__x86_64__) || defined(__i386__)
#define ZK_X86 1
#else
#define ZK_X86 0
#endif

namespace {

// ---------------------------------------------------------------------------
// Private part: bit tests, the plain loops, the kernels and the drivers.
// ---------------------------------------------------------------------------

constexpr std::uint32_t neg_zero = 0x80000000u;
constexpr std::uint32_t exp_mask = 0x7f800000u;

inline std::uint32_t bits(float x) {
    std::uint32_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

inline bool finite(float x) { return (bits(x) & exp_mask) != exp_mask; }

// x * y, x's NaN (quieted) where both are NaN, whatever order the compiler
// takes the operands in. Every other product is the same either way round
// (one NaN passes through, an invalid product gives the processor's NaN).
inline float mul_first(float x, float y) {
    if (x != x && y != y) return x * x; // x, quieted
    return x * y;
}

// How the elimination's products treat two NaNs: as the compiler likes
// (FREE), or as mul_first (ORDERED). Only the full table needs ORDERED: over
// the envelope every factor is finite, so no product there meets two NaNs.
enum product_order { FREE = 0, ORDERED = 1 };

// x * y, as mul_first gives it unless O is FREE.
template <int O> inline float mul(float x, float y) {
    if constexpr (O != FREE)
        return mul_first(x, y);
    else
        return x * y;
}

// The loops as written, each product as mul_first: the reference, and
// the way out when the work arrays of a full table cannot be had. Row k is
// divided from its diagonal on, so that the L factors left of it stay as they
// stood at their step, as the other paths leave them: nothing here reads them
// after their step, and the check of the solution reads them undivided.
int plain(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx) {
    for (int k = 0; k < ni - 1; k++) {
        float p = K[k][k];
        if (print) print(k + 1, p, ctx);
        if (p == 0.0f) return SOLVE_ZERO_PIVOT;
        float *rk = K[k];
        for (int c = k; c < ni; c++) rk[c] = rk[c] / p;
        a[k] = a[k] / p;
        for (int r = k + 1; r < ni; r++) {
            float *rr = K[r];
            float f = rr[k];
            for (int c = k + 1; c < ni; c++) rr[c] = rr[c] - mul_first(rk[c], f);
            a[r] = a[r] - mul_first(a[k], f);
        }
    }
    float p = K[ni - 1][ni - 1];
    if (print) print(ni, p, ctx);
    if (p == 0.0f) return SOLVE_ZERO_PIVOT;
    a[ni - 1] = a[ni - 1] / p;
    for (int k = ni - 2; k >= 0; k--) {
        for (int c = k + 1; c < ni; c++) a[k] = a[k] - mul_first(K[k][c], a[c]);
        a[k] = a[k] / K[k][k];
    }
    return SOLVE_OK;
}

// Register tile of the trailing update: MR rows by NR columns.
constexpr int MR = 6;
constexpr int NR = 16;
constexpr int MC = 120;  // rows of the packed block of L factors
constexpr int NC = 2048; // columns of the packed block of U factors

// Panel width: wide for full rows, narrow for short reaches.
int panel_width(double reach) { return reach > 1024 ? 192 : reach > 256 ? 64 : 32; }

using Work = elimination_work;

// Sizes the work arrays for n equations and panels of b steps; throws std::bad_alloc.
void size_work(Work &w, int n, int b) {
    const std::size_t nb = (b + NR - 1) / NR, ng = (b + MR - 1) / MR;
    w.piv.assign(n, 0.0f);
    w.Ap.assign(std::max({std::size_t(MC + MR) * b, MR * NR * (nb + 1), MR * MR * ng * ng}), 0.0f);
    w.Bp.assign(std::max(std::size_t(NC + NR) * b, NR * (MR * ng + MR)), 0.0f);
    w.Pp.assign(NR * NR * nb * (nb + 1) / 2, 0.0f);
    w.Gp.assign(MR * MR * ng + MR * ng, 0.0f);
}

// One elimination: the table's rows and reaches, and its work arrays.
struct Solve {
    float *const *row; // row[r]: entry (r, Lo[r])
    const int *R;      // R[k]: last column that row k may hold non-zero at step k
    const int *C;      // C[k]: last row that column k may hold non-zero at step k
    const int *Lo;     // Lo[r]: first step whose L factor in row r may be non-zero
    int n;
    int b; // panel width
    Work &w;

    // Entry (r, c) of the stored part of row r (c may be one past its end).
    float *at(int r, int c) const {
#ifdef ZELK_BOUNDS_CHECK
        if (r < 0 || r >= n || c < Lo[r] || c > R[r] + 1) __builtin_trap();
#endif
        return row[r] + (c - Lo[r]);
    }
    // Entry (r, c), the exact zero it holds when outside the stored part.
    float get(int r, int c) const { return c < Lo[r] || c > R[r] ? 0.0f : *at(r, c); }
};

typedef float v8 __attribute__((vector_size(32)));
typedef int v8i __attribute__((vector_size(32)));

// ---------------------------------------------------------------------------
// The kernels. Each is inlined into the entries of every set below, and so
// compiled for that set's instruction set.
// ---------------------------------------------------------------------------

#define ZK_INLINE inline __attribute__((always_inline))
// A lambda is a function of its own: it is inlined too.
#define ZK_INLINE_LAMBDA __attribute__((always_inline))

// p = x * y, eight products, each as mul_first unless O is FREE.
template <int O> ZK_INLINE void mul_to(v8 &p, const v8 &x, const v8 &y) {
    p = x * y;
    if constexpr (O == ORDERED) {
        const v8i both = (x != x) & (y != y);
        const v8 qx = x * x; // x, quieted, in the lanes that count
        p = both ? qx : p;
    }
}

// acc = acc - x * y, the product as mul_to gives it.
template <int O> ZK_INLINE void sub_mul(v8 &acc, const v8 &x, const v8 &y) {
    v8 p;
    mul_to<O>(p, x, y);
    acc = acc - p;
}

// y[i] = y[i] - x[i] * f, i = 0 .. n-1.
template <int O>
ZK_INLINE void axpy(float *__restrict y, const float *__restrict x, float f, int n) {
    int i = 0;
    if constexpr (O == ORDERED) {
        // By vectors: the scalar products' test of both NaNs would keep the
        // compiler from vectorising the loop.
        const v8 fb = {f, f, f, f, f, f, f, f};
        for (; i + 8 <= n; i += 8) {
            v8 xv, yv;
            std::memcpy(&xv, x + i, sizeof(v8));
            std::memcpy(&yv, y + i, sizeof(v8));
            sub_mul<O>(yv, xv, fb);
            std::memcpy(y + i, &yv, sizeof(v8));
        }
    }
    for (; i < n; i++) y[i] = y[i] - mul<O>(x[i], f);
}

// y[i] = y[i] / p, i = 0 .. n-1.
ZK_INLINE void divide(float *y, float p, int n) {
    for (int i = 0; i < n; i++) y[i] = y[i] / p;
}

// Row k of the panel [k0, k1): the updates of the panel's earlier steps over
// the panel's columns, then the pivot, then the division of the row's panel
// columns. Returns the pivot.
template <int O> ZK_INLINE float panel_row_body(Solve &s, int k, int k0, int k1) {
    for (int j = std::max(k0, s.Lo[k]); j < k; j++) {
        int ce = std::min(s.R[j], k1 - 1);
        axpy<O>(s.at(k, j + 1), s.at(j, j + 1), *s.at(k, j), ce - j);
    }
    float *pk = s.at(k, k);
    float p = *pk;
    if (p == 0.0f || k == s.n - 1) return p; // no division: a zero pivot, or the last row
    int ce = std::min(s.R[k], k1 - 1);
    divide(pk + 1, p, ce - k);
    *pk = p / p;
    return p;
}

// The panel's rows over columns c0 .. c1 beyond the panel: the updates of the
// panel's earlier steps, then the division by each row's pivot.
template <int O> ZK_INLINE void panel_right_body(Solve &s, int k0, int k1, int c0, int c1) {
    for (int k = k0; k < k1; k++) {
        for (int j = std::max(k0, s.Lo[k]); j < k; j++) {
            int ce = std::min(s.R[j], c1);
            if (ce >= c0) axpy<O>(s.at(k, c0), s.at(j, c0), *s.at(k, j), ce - c0 + 1);
        }
        int ce = std::min(s.R[k], c1);
        if (ce >= c0) divide(s.at(k, c0), s.w.piv[k], ce - c0 + 1);
    }
}

// Rows r0 .. r1 below the panel, over the panel's columns: the L factors.
template <int O> ZK_INLINE void panel_below_body(Solve &s, int k0, int k1, int r0, int r1) {
    for (int r = r0; r <= r1; r++)
        for (int j = std::max(k0, s.Lo[r]); j < k1; j++) {
            int ce = std::min(s.R[j], k1 - 1);
            axpy<O>(s.at(r, j + 1), s.at(j, j + 1), *s.at(r, j), ce - j);
        }
}

// An MR x NR tile held in registers: loaded from and stored to the rows c[i].
ZK_INLINE void load_tile(v8 (&acc)[MR][2], float *const *c) {
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
        std::memcpy(&acc[i][0], c[i], sizeof(v8));
        std::memcpy(&acc[i][1], c[i] + 8, sizeof(v8));
    }
}

ZK_INLINE void store_tile(const v8 (&acc)[MR][2], float *const *c) {
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
        std::memcpy(c[i], &acc[i][0], sizeof(v8));
        std::memcpy(c[i] + 8, &acc[i][1], sizeof(v8));
    }
}

// acc(i, l) = acc(i, l) - B(j, l) * A(i, j) for j = 0 .. kc-1 in order;
// A packed MR per step, B NR per step.
template <int O>
ZK_INLINE void apply_steps(v8 (&acc)[MR][2], int kc, const float *A, const float *B) {
    for (int j = 0; j < kc; j++) {
        v8 b0, b1;
        std::memcpy(&b0, B + NR * j, sizeof(v8));
        std::memcpy(&b1, B + NR * j + 8, sizeof(v8));
#pragma GCC unroll 6
        for (int i = 0; i < MR; i++) {
            float f = A[MR * j + i];
            v8 fb = {f, f, f, f, f, f, f, f};
            sub_mul<O>(acc[i][0], b0, fb);
            sub_mul<O>(acc[i][1], b1, fb);
        }
    }
}

// C(i, l) = C(i, l) - B(j, l) * A(i, j) for j = 0 .. kc-1 in order, on an
// MR x NR tile whose rows start at c[i]; A packed MR per step, B NR per step.
template <int O> ZK_INLINE void tile(int kc, const float *A, const float *B, float *const *c) {
    v8 acc[MR][2];
    load_tile(acc, c);
    apply_steps<O>(acc, kc, A, B);
    store_tile(acc, c);
}

// The rows below the panel on one block of 16 panel columns starting at cb:
// each element C(i, l) first takes the terms of the panel's steps left of the
// block, j = 0 .. kc-1 in order (A: the rows' L factors packed MR per step, as
// the earlier blocks left them; P: the U rows over the block, NR per step),
// then those of the block's own steps, kc + jj for jj = 0 .. 15, each on the
// columns right of its own (T = P + NR * kc: the block's U rows). The block's
// finished L factors are appended to A (A + MR * kc), for the blocks to come.
template <int O> ZK_INLINE void tile_lower(int kc, float *A, const float *P, float *const *c) {
    v8 acc[MR][2];
    load_tile(acc, c);
    apply_steps<O>(acc, kc, A, P);
    const v8i lane0 = {0, 1, 2, 3, 4, 5, 6, 7};
    const v8i lane1 = {8, 9, 10, 11, 12, 13, 14, 15};
    float *Aout = A + MR * kc;
    const float *T = P + NR * kc;
#pragma GCC unroll 16
    for (int jj = 0; jj < NR; jj++) {
        v8 t0, t1;
        std::memcpy(&t0, T + NR * jj, sizeof(v8));
        std::memcpy(&t1, T + NR * jj + 8, sizeof(v8));
        const v8i jv = {jj, jj, jj, jj, jj, jj, jj, jj};
        const v8i m0 = lane0 > jv, m1 = lane1 > jv;
#pragma GCC unroll 6
        for (int i = 0; i < MR; i++) {
            float f = jj < 8 ? acc[i][0][jj & 7] : acc[i][1][jj & 7];
            Aout[MR * jj + i] = f;
            v8 fb = {f, f, f, f, f, f, f, f};
            // Only the lanes right of the step change: a blend, not a
            // multiply by zero, which could alter a -0 or meet an inf.
            v8 p;
            if (jj < 7) {
                mul_to<O>(p, t0, fb);
                acc[i][0] = m0 ? acc[i][0] - p : acc[i][0];
            }
            if (jj < 8) {
                sub_mul<O>(acc[i][1], t1, fb);
            } else if (jj < 15) {
                mul_to<O>(p, t1, fb);
                acc[i][1] = m1 ? acc[i][1] - p : acc[i][1];
            }
        }
    }
    store_tile(acc, c);
}

// MR rows of the panel on 16 columns beyond it: each element takes the terms
// of the panel's rows above the group, j = 0 .. kc-1 in order (A: the group's
// L factors packed MR per step; B: those rows' finished U values, NR per
// step), then those of the group's own earlier rows (G[MR * i + jj]: the L
// factor of row i at the group's row jj), then the division by its row's
// pivot. The finished rows are also appended to B (B + NR * kc).
template <int O>
ZK_INLINE void tile_upper(int kc, const float *A, float *B, const float *G, const float *piv,
                          float *const *c) {
    v8 acc[MR][2];
    load_tile(acc, c);
    apply_steps<O>(acc, kc, A, B);
    float *Bout = B + NR * kc;
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
#pragma GCC unroll 6
        for (int jj = 0; jj < i; jj++) {
            float f = G[MR * i + jj];
            v8 fb = {f, f, f, f, f, f, f, f};
            sub_mul<O>(acc[i][0], acc[jj][0], fb);
            sub_mul<O>(acc[i][1], acc[jj][1], fb);
        }
        float p = piv[i];
        v8 pb = {p, p, p, p, p, p, p, p};
        acc[i][0] = acc[i][0] / pb;
        acc[i][1] = acc[i][1] / pb;
        std::memcpy(Bout + NR * i, &acc[i][0], sizeof(v8));
        std::memcpy(Bout + NR * i + 8, &acc[i][1], sizeof(v8));
        std::memcpy(c[i], &acc[i][0], sizeof(v8));
        std::memcpy(c[i] + 8, &acc[i][1], sizeof(v8));
    }
}

// Runs a tile on the h rows that start at rows[0 .. h), w columns wide: in
// place when the tile is whole, else on a zero-padded copy of which only the
// real part is stored back.
template <class F> ZK_INLINE void on_tile(float *const *rows, int h, int w, F &&f) {
    if (h == MR && w == NR) {
        f(rows);
        return;
    }
    float buf[MR][NR] = {};
    float *c[MR];
    for (int i = 0; i < MR; i++) {
        c[i] = buf[i];
        if (i < h)
            for (int l = 0; l < w; l++) buf[i][l] = rows[i][l];
    }
    f(c);
    for (int i = 0; i < h; i++)
        for (int l = 0; l < w; l++) rows[i][l] = buf[i][l];
}

// Rows r0 .. r1 below the panel over the panel's columns, by tiles; every
// row's L factors must start at or before k0 and every panel row reach k1-1.
template <int O> ZK_INLINE void panel_below_tiled_body(Solve &s, int k0, int k1, int r0, int r1) {
    const int nb = (k1 - k0 + NR - 1) / NR;
    // P: block q holds the panel's rows 0 .. 16q+15 over the block's columns.
    float *P = s.w.Pp.data();
    for (int q = 0, off = 0; q < nb; q++) {
        const int cb = k0 + NR * q;
        for (int j = 0; j < NR * (q + 1); j++) {
            float *dst = P + off + NR * j;
            for (int l = 0; l < NR; l++)
                dst[l] = k0 + j < k1 && cb + l < k1 ? s.get(k0 + j, cb + l) : 0.0f;
        }
        off += NR * NR * (q + 1);
    }
    float *A = s.w.Ap.data();
    for (int rb = r0; rb <= r1; rb += MR) {
        const int h = std::min(MR, r1 - rb + 1);
        // The next group's rows, while this one works.
        for (int r = rb + MR; r < std::min(rb + 2 * MR, r1 + 1); r++)
            for (int c = k0; c < k1; c += NR) __builtin_prefetch(s.at(r, c), 1);
        for (int q = 0, off = 0; q < nb; q++) {
            const int cb = k0 + NR * q;
            float *rows[MR];
            for (int i = 0; i < MR; i++) rows[i] = s.at(rb + std::min(i, h - 1), cb);
            on_tile(rows, h, std::min(NR, k1 - cb),
                    [&](float *const *c) ZK_INLINE_LAMBDA { tile_lower<O>(NR * q, A, P + off, c); });
            off += NR * NR * (q + 1);
        }
    }
}

// The panel's rows over columns c0 .. c1 beyond it, by tiles; every row's L
// factors must start at or before k0 and every panel row reach c1.
template <int O> ZK_INLINE void panel_right_tiled_body(Solve &s, int k0, int k1, int c0, int c1) {
    const int m = k1 - k0;
    const int ng = (m + MR - 1) / MR;
    // A: group g holds its rows' L factors over the panel's columns left of
    // the group; G and the pivots: the factors within the group.
    float *A = s.w.Ap.data();
    float *G = s.w.Gp.data();
    for (int g = 0, off = 0; g < ng; g++) {
        const int kb = k0 + MR * g;
        for (int i = 0; i < MR; i++) {
            const bool real = kb + i < k1;
            for (int j = 0; j < MR * g; j++) A[off + MR * j + i] = real ? *s.at(kb + i, k0 + j) : 0.0f;
            for (int jj = 0; jj < MR; jj++)
                G[MR * MR * g + MR * i + jj] = real && jj < i ? *s.at(kb + i, kb + jj) : 0.0f;
            G[MR * MR * ng + MR * g + i] = real ? s.w.piv[kb + i] : 1.0f;
        }
        off += MR * MR * g;
    }
    float *B = s.w.Bp.data();
    for (int cb = c0; cb <= c1; cb += NR) {
        const int w = std::min(NR, c1 - cb + 1);
        for (int g = 0, off = 0; g < ng; g++) {
            const int kb = k0 + MR * g;
            const int h = std::min(MR, k1 - kb);
            // The next tile's rows, far apart: fetched while this one works.
            const int nkb = g + 1 < ng ? kb + MR : k0;
            const int ncb = g + 1 < ng ? cb : cb + NR;
            if (ncb <= c1)
                for (int k = nkb; k < std::min(nkb + MR, k1); k++) {
                    __builtin_prefetch(s.at(k, ncb), 1);
                    __builtin_prefetch(s.at(k, std::min(ncb + NR - 1, c1)), 1);
                }
            float *rows[MR];
            for (int i = 0; i < MR; i++) rows[i] = s.at(kb + std::min(i, h - 1), cb);
            on_tile(rows, h, w, [&](float *const *c) ZK_INLINE_LAMBDA {
                tile_upper<O>(MR * g, A + off, B, G + MR * MR * g, G + MR * MR * ng + MR * g, c);
            });
            off += MR * MR * g;
        }
    }
}

// The trailing update of the panel [k0, k1) on rows r0 .. r1, columns c0 .. c1:
// K(r, c) = K(r, c) - K(j, c) * K(r, j) for j = k0 .. k1-1 in order. The rows
// must hold the whole rectangle; the panel's rows and the rows' panel columns
// are read as zeros outside their stored parts.
template <int O> ZK_INLINE void trailing_body(Solve &s, int k0, int k1, int r0, int r1, int c0, int c1) {
    const int kc = k1 - k0;
    for (int jc = c0; jc <= c1; jc += NC) {
        const int nc = std::min(NC, c1 - jc + 1);
        const int ntiles = (nc + NR - 1) / NR;
        float *B = s.w.Bp.data();
        for (int t = 0; t < ntiles; t++) {
            const int cb = jc + t * NR;
            const int w = std::min(NR, jc + nc - cb);
            float *bt = B + std::size_t(t) * kc * NR;
            for (int j = 0; j < kc; j++) {
                const int held = std::clamp(s.R[k0 + j] - cb + 1, 0, w);
                float *dst = bt + NR * j;
                int l = 0;
                if (held > 0) {
                    const float *src = s.at(k0 + j, cb);
                    for (; l < held; l++) dst[l] = src[l];
                }
                for (; l < NR; l++) dst[l] = 0.0f;
            }
        }
        for (int ic = r0; ic <= r1; ic += MC) {
            const int mc = std::min(MC, r1 - ic + 1);
            const int mtiles = (mc + MR - 1) / MR;
            float *A = s.w.Ap.data();
            for (int t = 0; t < mtiles; t++) {
                float *at = A + std::size_t(t) * kc * MR;
                for (int i = 0; i < MR; i++) {
                    int r = ic + t * MR + i;
                    int j = 0;
                    if (r < ic + mc) {
                        for (; j < s.Lo[r] - k0 && j < kc; j++) at[MR * j + i] = 0.0f;
                        if (j < kc) {
                            const float *src = s.at(r, k0 + j);
                            for (int j0 = j; j < kc; j++) at[MR * j + i] = src[j - j0];
                        }
                    }
                    for (; j < kc; j++) at[MR * j + i] = 0.0f;
                }
            }
            for (int tn = 0; tn < ntiles; tn++) {
                const int cb = jc + tn * NR;
                const int w = std::min(NR, jc + nc - cb);
                const float *bt = B + std::size_t(tn) * kc * NR;
                for (int tm = 0; tm < mtiles; tm++) {
                    const int rb = ic + tm * MR;
                    const int h = std::min(MR, ic + mc - rb);
                    const float *at = A + std::size_t(tm) * kc * MR;
                    // The next tile's rows, on their way in while this one works:
                    // they are far apart, beyond the reach of the hardware's own
                    // prefetching.
                    const int nrb = tm + 1 < mtiles ? rb + MR : ic;
                    const int ncb = tm + 1 < mtiles ? cb : cb + NR;
                    if (ncb < jc + nc)
                        for (int r = nrb; r < std::min(nrb + MR, ic + mc); r++) {
                            __builtin_prefetch(s.at(r, ncb), 1);
                            __builtin_prefetch(s.at(r, std::min(ncb + NR - 1, jc + nc - 1)), 1);
                        }
                    float *rows[MR];
                    for (int i = 0; i < MR; i++) rows[i] = s.at(rb + std::min(i, h - 1), cb);
                    on_tile(rows, h, w, [&](float *const *c) ZK_INLINE_LAMBDA { tile<O>(kc, at, bt, c); });
                }
            }
        }
    }
}

#undef ZK_INLINE
#undef ZK_INLINE_LAMBDA

struct Kernels {
    float (*panel_row)(Solve &, int, int, int);
    void (*panel_right)(Solve &, int, int, int, int);
    void (*panel_below)(Solve &, int, int, int, int);
    void (*trailing)(Solve &, int, int, int, int, int, int);
    void (*panel_right_tiled)(Solve &, int, int, int, int);
    void (*panel_below_tiled)(Solve &, int, int, int, int);
};

#define ZK_KERNELS(SET, ATTR, O)                                                                   \
    ATTR float panel_row_##SET(Solve &s, int k, int k0, int k1) {                                  \
        return panel_row_body<O>(s, k, k0, k1);                                                    \
    }                                                                                              \
    ATTR void panel_right_##SET(Solve &s, int k0, int k1, int c0, int c1) {                        \
        panel_right_body<O>(s, k0, k1, c0, c1);                                                    \
    }                                                                                              \
    ATTR void panel_below_##SET(Solve &s, int k0, int k1, int r0, int r1) {                        \
        panel_below_body<O>(s, k0, k1, r0, r1);                                                    \
    }                                                                                              \
    ATTR void trailing_##SET(Solve &s, int k0, int k1, int r0, int r1, int c0, int c1) {           \
        trailing_body<O>(s, k0, k1, r0, r1, c0, c1);                                               \
    }                                                                                              \
    ATTR void panel_right_tiled_##SET(Solve &s, int k0, int k1, int c0, int c1) {                  \
        panel_right_tiled_body<O>(s, k0, k1, c0, c1);                                              \
    }                                                                                              \
    ATTR void panel_below_tiled_##SET(Solve &s, int k0, int k1, int r0, int r1) {                  \
        panel_below_tiled_body<O>(s, k0, k1, r0, r1);                                              \
    }                                                                                              \
    const Kernels kernels_##SET = {panel_row_##SET,         panel_right_##SET,                     \
                                   panel_below_##SET,       trailing_##SET,                        \
                                   panel_right_tiled_##SET, panel_below_tiled_##SET};

// The ordered sets serve the full table, the others the envelope. AVX2 has
// separate multiply and subtract instructions, both rounded as the scalar ones.
ZK_KERNELS(portable, , FREE)
ZK_KERNELS(portable_ordered, , ORDERED)
#if ZK_X86
ZK_KERNELS(avx2, __attribute__((target("avx2"))), FREE)
ZK_KERNELS(avx2_ordered, __attribute__((target("avx2"))), ORDERED)
#endif

// The kernels that test_switch picks (by default the fastest that this
// processor runs); with every product as mul_first when `ordered`.
const Kernels &kernels(bool ordered) {
#if ZK_X86
    static const bool avx2_here = runs_here(KERNELS_AVX2);
    const kernel_set k = test_switch.kernels;
    if (k == KERNELS_AVX2 || (k == KERNELS_AUTO && avx2_here))
        return ordered ? kernels_avx2_ordered : kernels_avx2;
#endif
    return ordered ? kernels_portable_ordered : kernels_portable;
}

// True when u[0 .. n) holds -0, an infinity or a NaN.
bool has_special(const float *x, int n) {
    std::uint32_t bad = 0; // without branches, so that the loop vectorises
    for (int c = 0; c < n; c++) {
        const std::uint32_t u = bits(x[c]);
        bad |= std::uint32_t((u & exp_mask) == exp_mask) | std::uint32_t(u == neg_zero);
    }
    return bad != 0;
}

// Factors the matrix: pivots into w.piv, U in the upper rows (divided), the
// L factors left undivided in the lower rows. Returns the index of an exactly
// zero pivot, or -1.
int factor(Solve &s, const Kernels &kr) {
    const int n = s.n;
    for (int k0 = 0; k0 < n; k0 += s.b) {
        const int k1 = std::min(n, k0 + s.b);
        for (int k = k0; k < k1; k++) {
            float p = kr.panel_row(s, k, k0, k1);
            s.w.piv[k] = p;
            if (p == 0.0f) return k;
        }
        const int rlast = s.C[k1 - 1];
        const int clast = s.R[k1 - 1];
        // By tiles where every row of the panel reaches the tile: the columns
        // up to the first panel row's reach when every panel row's L factors
        // start at or before k0, the rows whose L factors start there. The
        // rest by rows, with each row's and step's own reach.
        if (clast >= k1) {
            const int ct = s.Lo[k1 - 1] <= k0 ? std::clamp(s.R[k0], k1 - 1, clast) : k1 - 1;
            if (ct >= k1) kr.panel_right_tiled(s, k0, k1, k1, ct);
            if (clast > ct) kr.panel_right(s, k0, k1, ct + 1, clast);
        }
        if (rlast >= k1) {
            const int rt = s.R[k0] >= k1 - 1 ? std::clamp(s.C[k0], k1 - 1, rlast) : k1 - 1;
            if (rt >= k1) kr.panel_below_tiled(s, k0, k1, k1, rt);
            if (rlast > rt) kr.panel_below(s, k0, k1, rt + 1, rlast);
        }
        if (rlast >= k1 && clast >= k1) kr.trailing(s, k0, k1, k1, rlast, k1, clast);
    }
    return -1;
}

// True when every factor of steps before `upto` that the envelope rests on is
// finite: the pivots and the rows' factors within their reach, up to column
// `upto` (the whole row when upto is n).
bool factors_finite(const Solve &s, int upto) {
    for (int r = 0; r < s.n && r <= upto; r++) {
        if (!finite(s.w.piv[r]) && r < upto) return false;
        const int hi = std::min(s.R[r], upto);
        const float *row = s.at(r, s.Lo[r]);
        std::uint32_t bad = 0; // without branches, so that the loop vectorises
        for (int c = 0; c <= hi - s.Lo[r]; c++) bad |= std::uint32_t(!finite(row[c]));
        if (bad) return false;
    }
    return true;
}

// The substitutions after a complete factorisation; `a` holds the right-hand
// side on entry and the solution on return.
template <int O> void substitute(const Solve &s, float *a) {
    const int ni = s.n;
    // Forward substitution: a(r) takes a(k) * L(r, k) for k = 1 .. r-1 in order,
    // then its division by the pivot. Before Lo[r] the factors are +0: those
    // updates change nothing unless a(r) is -0 or an a(k) is not finite, and
    // then they are made with the +0 itself.
    // Each a(r) is one chain of dependent subtractions; FB rows whose factors
    // all start at or before the first of them run their chains side by side
    // over the a(k) already known, each still in order k = 1, 2, ...
    constexpr int FB = 8;
    int first_nonfinite = ni;
    for (int r = 0; r < ni;) {
        if (r + FB <= ni && s.Lo[r + FB - 1] <= r) {
            // No row of the group starts past r, so the rows of the group
            // cannot change which of the rows' chains start at 0.
            const int common = s.Lo[r + FB - 1];
            float x[FB];
            const float *rows[FB]; // rows[i][k - common]: factor of row r+i at step k
            for (int i = 0; i < FB; i++) {
                x[i] = a[r + i];
                const int l = s.Lo[r + i];
                if (l > 0 && (bits(x[i]) == neg_zero || first_nonfinite < l))
                    for (int k = 0; k < l; k++) x[i] = x[i] - mul<O>(a[k], 0.0f);
                const float *row = s.at(r + i, l);
                for (int k = l; k < common; k++) x[i] = x[i] - mul<O>(a[k], row[k - l]);
                rows[i] = s.at(r + i, common);
            }
            for (int k = common; k < r; k++) {
                const float ak = a[k];
                for (int i = 0; i < FB; i++) x[i] = x[i] - mul<O>(ak, rows[i][k - common]);
            }
            for (int i = 0; i < FB; i++) {
                for (int k = r; k < r + i; k++) x[i] = x[i] - mul<O>(a[k], rows[i][k - common]);
                x[i] = x[i] / s.w.piv[r + i];
                a[r + i] = x[i];
                if (first_nonfinite == ni && !finite(x[i])) first_nonfinite = r + i;
            }
            r += FB;
            continue;
        }
        const int l = s.Lo[r];
        const float *row = s.at(r, l);
        float x = a[r];
        if (l > 0 && (bits(x) == neg_zero || first_nonfinite < l))
            for (int k = 0; k < l; k++) x = x - mul<O>(a[k], 0.0f);
        for (int k = l; k < r; k++) x = x - mul<O>(a[k], row[k - l]);
        x = x / s.w.piv[r];
        a[r] = x;
        if (first_nonfinite == ni && !finite(x)) first_nonfinite = r;
        r++;
    }

    // Back substitution; beyond R[k] row k holds +0 divided by its pivot, which
    // changes a(k) only when it is -0 or when an a(c) there is not finite.
    int last_nonfinite = finite(a[ni - 1]) ? -1 : ni - 1;
    for (int k = ni - 2; k >= 0; k--) {
        const float *row = s.at(k, k); // row[c - k]: U(k, c); row[0]: the divided diagonal
        float x = a[k];
        const int rk = s.R[k];
        for (int c = k + 1; c <= rk; c++) x = x - mul<O>(row[c - k], a[c]);
        if (rk < ni - 1 && (bits(x) == neg_zero || last_nonfinite > rk)) {
            const float z = 0.0f / s.w.piv[k];
            for (int c = rk + 1; c < ni; c++) x = x - mul<O>(z, a[c]);
        }
        x = x / row[0];
        a[k] = x;
        if (last_nonfinite < 0 && !finite(x)) last_nonfinite = k;
    }
}

// Prints the pivots up to the zero one (or all), and says whether one was zero.
bool print_pivots(const Work &w, int n, int zero, pivot_printer print, void *ctx) {
    if (print)
        for (int k = 0; k < (zero < 0 ? n : zero + 1); k++) print(k + 1, w.piv[k], ctx);
    return zero >= 0;
}

} // namespace

std::vector<kernel_set> built_kernel_sets() {
    if (ZK_X86) return {KERNELS_PORTABLE, KERNELS_AVX2};
    return {KERNELS_PORTABLE};
}

bool runs_here(kernel_set k) {
#if ZK_X86
    if (k == KERNELS_AVX2) {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }
#endif
    return k != KERNELS_AVX2;
}

bool envelope_table::alloc(int n, const std::vector<int> &lo, const std::vector<int> &hi) {
    release();
    if (n < 0) return false;
    try {
        R_.resize(n);
        C_.resize(n);
        Lo_.resize(n);
        // R: the running maximum of the rows' last columns; C: of the columns'
        // last rows (a column's last row is the last row whose first column is
        // at or before it); Lo: the first step whose column reaches the row.
        int m = 0;
        for (int k = 0; k < n; k++) R_[k] = m = std::max(m, hi[k]);
        for (int k = 0; k < n; k++) C_[k] = k;
        for (int r = 0; r < n; r++) C_[lo[r]] = std::max(C_[lo[r]], r);
        m = 0;
        for (int k = 0; k < n; k++) C_[k] = m = std::max(m, C_[k]);
        for (int r = 0, k = 0; r < n; r++) {
            while (C_[k] < r) k++;
            Lo_[r] = k;
        }
        // Row r starts at an offset congruent to Lo(r) modulo 16, so that the
        // same column of every row lies at the same place in a cache line (the
        // mapping starts on a page): whole tiles then take aligned loads.
        std::vector<std::size_t> off(n);
        std::size_t total = 0, inside = 0;
        for (int r = 0; r < n; r++) {
            total += std::size_t(Lo_[r] - int(total % 16) + 16) % 16;
            off[r] = total;
            total += std::size_t(R_[r] - Lo_[r] + 1);
            inside += std::size_t(R_[r] - Lo_[r] + 1);
        }
        // The memory is had before the solve starts.
        if (!data_.alloc(total)) throw std::bad_alloc();
        row_.resize(n);
        for (int r = 0; r < n; r++) row_[r] = data_.data() + off[r];
        stored_ = inside;
        b_ = n > 0 ? panel_width(double(inside) / n) : 32;
        size_work(work_, n, b_);
    } catch (const std::bad_alloc &) {
        release();
        return false;
    }
    n_ = n;
    return true;
}

void envelope_table::release() {
    n_ = 0;
    for (auto *v : {&R_, &C_, &Lo_}) std::vector<int>().swap(*v);
    data_.release();
    std::vector<float *>().swap(row_);
    stored_ = 0;
    work_ = elimination_work();
}

int gauss_solve(envelope_table &K, float *a, pivot_printer print, void *ctx) {
    const int ni = K.n_;
    if (ni <= 0) return SOLVE_OK;
    // Zeros outside the envelope stay exact zeros only when no value is -0 or
    // non-finite.
    for (int r = 0; r < ni; r++)
        if (has_special(K.row_[r], K.R_[r] - K.Lo_[r] + 1)) return SOLVE_NEEDS_FULL;
    Work &w = K.work_;
    Solve s{K.row_.data(), K.R_.data(), K.C_.data(), K.Lo_.data(), ni, K.b_, w};
    const int zero = factor(s, kernels(false));
    if (!factors_finite(s, zero < 0 ? ni : zero)) return SOLVE_NEEDS_FULL;
    if (print_pivots(w, ni, zero, print, ctx)) return SOLVE_ZERO_PIVOT;
    substitute<FREE>(s, a);
    return SOLVE_OK;
}

int gauss_solve_full(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx) {
    if (ni <= 0) return SOLVE_OK;
    std::vector<int> R, Lo;
    Work w;
    try {
        R.assign(ni, ni - 1);
        Lo.assign(ni, 0);
        size_work(w, ni, 192);
    } catch (const std::bad_alloc &) {
        return plain(K, a, ni, print, ctx);
    }
    // Every row and column reaches the last: C is R.
    Solve s{K, R.data(), R.data(), Lo.data(), ni, 192, w};
    const int zero = factor(s, kernels(true));
    if (print_pivots(w, ni, zero, print, ctx)) return SOLVE_ZERO_PIVOT;
    substitute<ORDERED>(s, a);
    return SOLVE_OK;
}

int gauss_solve_plain(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx) {
    return ni <= 0 ? SOLVE_OK : plain(K, a, ni, print, ctx);
}

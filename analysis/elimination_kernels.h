// The kernels of the elimination (see elimination.cpp), private to it: the
// steps of a panel, written once with GCC's vector types as templates that are
// always inlined, and the entries of each kernel set, which inline them and so
// compile them for that set's instruction set. Each set is defined in a file
// of its own (elimination_<set>.cpp), so that the sets compile side by side;
// fused multiply-add stays off (no "fma" target).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "elimination.h"

#if defined(__x86_64__) || defined(__i386__)
#define ZK_X86 1
#else
#define ZK_X86 0
#endif

namespace elimination_kernels {

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

// Register tile of the trailing update: MR rows by NR columns.
constexpr int MR = 6;
constexpr int NR = 16;
constexpr int MC = 120;  // rows of the packed block of L factors
constexpr int NC = 2048; // columns of the packed block of U factors

using Work = elimination_work;

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
// The kernels. Each is inlined into the entries of every set, and so
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

// One kernel set: the steps of a panel.
struct Kernels {
    float (*panel_row)(Solve &, int, int, int);
    void (*panel_right)(Solve &, int, int, int, int);
    void (*panel_below)(Solve &, int, int, int, int);
    void (*trailing)(Solve &, int, int, int, int, int, int);
    void (*panel_right_tiled)(Solve &, int, int, int, int);
    void (*panel_below_tiled)(Solve &, int, int, int, int);
};

// Defines the entries of kernel set SET, compiled with the attributes ATTR,
// its products as O says, and their table kernels_SET.
#define ZK_KERNELS(SET, ATTR, O)                                                                   \
    namespace {                                                                                    \
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
    }                                                                                              \
    const Kernels kernels_##SET = {panel_row_##SET,         panel_right_##SET,                     \
                                   panel_below_##SET,       trailing_##SET,                        \
                                   panel_right_tiled_##SET, panel_below_tiled_##SET};

// The ordered sets serve the full table, the others the envelope. AVX2 has
// separate multiply and subtract instructions, both rounded as the scalar ones.
extern const Kernels kernels_portable;
extern const Kernels kernels_portable_ordered;
#if ZK_X86
extern const Kernels kernels_avx2;
extern const Kernels kernels_avx2_ordered;
#endif

} // namespace elimination_kernels

// Gauss elimination without row exchanges, reordered for speed while every
// stored value stays the one that the plain right-looking loops give.
//
// The plain loops apply to each element K(r, c) the updates
//     K(r, c) = K(r, c) - U(k, c) * L(r, k),   k = 1, 2, ..., min(r, c) - 1,
// where U(k, c) is row k after its division by the pivot and L(r, k) is K(r, k)
// as it stands when step k starts. Any ordering that computes the same U and L
// values and hands each element its updates in increasing k, one rounded
// multiply and one rounded subtraction each, stores the same bits. Here:
//   - panels of b steps: the panel's rows are reduced left-looking over the
//     panel's columns; the panel's rows beyond it and the rows below it are
//     reduced against the panel's triangle by register tiles (the terms of the
//     finished steps as a product, then those of the tile's own steps, one by
//     one); the rest of the matrix is updated by one register-blocked product
//     that subtracts the panel's terms one by one in step order;
//   - work is skipped outside each row's and column's reach (the envelope),
//     where the updates subtract exact zeros. That is exact only while every
//     factor that meets such a zero is finite and no target is -0, so the
//     envelope is used only when the input holds no -0 and no inf or NaN, and
//     the factors are checked afterwards; when a check fails the input is
//     restored and the whole elimination is made again over the full matrix.
// The pivots are printed once they are known to be the plain loops' pivots.
#include "elimination.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Private part: bit tests, the plain loops, the kernels and the driver.
// ---------------------------------------------------------------------------

constexpr std::uint32_t neg_zero = 0x80000000u;
constexpr std::uint32_t exp_mask = 0x7f800000u;

inline std::uint32_t bits(float x) {
    std::uint32_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

inline bool finite(float x) { return (bits(x) & exp_mask) != exp_mask; }

// The loops as written; used when the work arrays cannot be had.
int plain(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx) {
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
            for (int c = k + 1; c < ni; c++) rr[c] = rr[c] - rk[c] * f;
            a[r] = a[r] - a[k] * f;
        }
    }
    float p = K[ni - 1][ni - 1];
    if (print) print(ni, p, ctx);
    if (p == 0.0f) return 1;
    a[ni - 1] = a[ni - 1] / p;
    for (int k = ni - 2; k >= 0; k--) {
        for (int c = k + 1; c < ni; c++) a[k] = a[k] - K[k][c] * a[c];
        a[k] = a[k] / K[k][k];
    }
    return 0;
}

// Register tile of the trailing update: MR rows by NR columns.
constexpr int MR = 6;
constexpr int NR = 16;
constexpr int MC = 120; // rows of the packed block of L factors
constexpr int NC = 2048; // columns of the packed block of U factors

struct Solve {
    Kmatrix K;
    int n;
    int b;                   // panel width
    std::vector<int> R;      // R[k]: last column that row k may hold non-zero at step k
    std::vector<int> C;      // C[k]: last row that column k may hold non-zero at step k
    std::vector<int> Lo;     // Lo[r]: first step whose L factor in row r may be non-zero
    std::vector<float> piv;  // pivots, in order
    std::vector<float> Ap;   // packed L factors
    std::vector<float> Bp;   // packed U factors
    std::vector<float> Pp;   // packed U blocks of the panel, for the rows below it
    std::vector<float> Gp;   // factors and pivots within the panel's row groups
};

#define ZK_INLINE inline __attribute__((always_inline))

// y[i] = y[i] - x[i] * f, i = 0 .. n-1.
ZK_INLINE void axpy(float *__restrict y, const float *__restrict x, float f, int n) {
    for (int i = 0; i < n; i++) y[i] = y[i] - x[i] * f;
}

// y[i] = y[i] / p, i = 0 .. n-1.
ZK_INLINE void divide(float *y, float p, int n) {
    for (int i = 0; i < n; i++) y[i] = y[i] / p;
}

// Row k of the panel [k0, k1): the updates of the panel's earlier steps over
// the panel's columns, then the pivot, then the division of the row's panel
// columns. Returns the pivot.
ZK_INLINE float panel_row_body(Solve &s, int k, int k0, int k1) {
    float *rk = s.K[k];
    for (int j = std::max(k0, s.Lo[k]); j < k; j++) {
        int ce = std::min(s.R[j], k1 - 1);
        axpy(rk + j + 1, s.K[j] + j + 1, rk[j], ce - j);
    }
    float p = rk[k];
    if (p == 0.0f || k == s.n - 1) return p; // no division: a zero pivot, or the last row
    int ce = std::min(s.R[k], k1 - 1);
    divide(rk + k + 1, p, ce - k);
    rk[k] = p / p;
    return p;
}

// The panel's rows over columns c0 .. c1 beyond the panel: the updates of the
// panel's earlier steps, then the division by each row's pivot.
ZK_INLINE void panel_right_body(Solve &s, int k0, int k1, int c0, int c1) {
    for (int k = k0; k < k1; k++) {
        float *rk = s.K[k];
        for (int j = std::max(k0, s.Lo[k]); j < k; j++) {
            int ce = std::min(s.R[j], c1);
            if (ce >= c0) axpy(rk + c0, s.K[j] + c0, rk[j], ce - c0 + 1);
        }
        int ce = std::min(s.R[k], c1);
        if (ce >= c0) divide(rk + c0, s.piv[k], ce - c0 + 1);
    }
}

// Rows r0 .. r1 below the panel, over the panel's columns: the L factors.
ZK_INLINE void panel_below_body(Solve &s, int k0, int k1, int r0, int r1) {
    for (int r = r0; r <= r1; r++) {
        float *rr = s.K[r];
        for (int j = std::max(k0, s.Lo[r]); j < k1; j++) {
            int ce = std::min(s.R[j], k1 - 1);
            axpy(rr + j + 1, s.K[j] + j + 1, rr[j], ce - j);
        }
    }
}

typedef float v8 __attribute__((vector_size(32)));

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
ZK_INLINE void apply_steps(v8 (&acc)[MR][2], int kc, const float *A, const float *B) {
    for (int j = 0; j < kc; j++) {
        v8 b0, b1;
        std::memcpy(&b0, B + NR * j, sizeof(v8));
        std::memcpy(&b1, B + NR * j + 8, sizeof(v8));
#pragma GCC unroll 6
        for (int i = 0; i < MR; i++) {
            float f = A[MR * j + i];
            v8 fb = {f, f, f, f, f, f, f, f};
            acc[i][0] = acc[i][0] - b0 * fb;
            acc[i][1] = acc[i][1] - b1 * fb;
        }
    }
}

// C(i, l) = C(i, l) - B(j, l) * A(i, j) for j = 0 .. kc-1 in order, on an
// MR x NR tile whose rows start at c[i]; A packed MR per step, B NR per step.
ZK_INLINE void tile(int kc, const float *A, const float *B, float *const *c) {
    v8 acc[MR][2];
    load_tile(acc, c);
    apply_steps(acc, kc, A, B);
    store_tile(acc, c);
}

typedef int v8i __attribute__((vector_size(32)));

// The rows below the panel on one block of 16 panel columns starting at cb:
// each element C(i, l) first takes the terms of the panel's steps left of the
// block, j = 0 .. kc-1 in order (A: the rows' L factors packed MR per step, as
// the earlier blocks left them; P: the U rows over the block, NR per step),
// then those of the block's own steps, kc + jj for jj = 0 .. 15, each on the
// columns right of its own (T = P + NR * kc: the block's U rows). The block's
// finished L factors are appended to A (A + MR * kc), for the blocks to come.
ZK_INLINE void tile_lower(int kc, float *A, const float *P, float *const *c) {
    v8 acc[MR][2];
    load_tile(acc, c);
    apply_steps(acc, kc, A, P);
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
            if (jj < 7) acc[i][0] = m0 ? acc[i][0] - t0 * fb : acc[i][0];
            if (jj < 8) acc[i][1] = acc[i][1] - t1 * fb;
            else if (jj < 15) acc[i][1] = m1 ? acc[i][1] - t1 * fb : acc[i][1];
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
ZK_INLINE void tile_upper(int kc, const float *A, float *B, const float *G, const float *piv,
                          float *const *c) {
    v8 acc[MR][2];
    load_tile(acc, c);
    apply_steps(acc, kc, A, B);
    float *Bout = B + NR * kc;
#pragma GCC unroll 6
    for (int i = 0; i < MR; i++) {
#pragma GCC unroll 6
        for (int jj = 0; jj < i; jj++) {
            float f = G[MR * i + jj];
            v8 fb = {f, f, f, f, f, f, f, f};
            acc[i][0] = acc[i][0] - acc[jj][0] * fb;
            acc[i][1] = acc[i][1] - acc[jj][1] * fb;
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

// Runs a tile on rows rows[0 .. h) at column cb, w columns wide: in place when
// the tile is whole, else on a zero-padded copy of which only the real part
// is stored back.
template <class F>
ZK_INLINE void on_tile(float *const *rows, int h, int cb, int w, F &&f) {
    if (h == MR && w == NR) {
        float *c[MR];
        for (int i = 0; i < MR; i++) c[i] = rows[i] + cb;
        f(c);
        return;
    }
    float buf[MR][NR] = {};
    float *c[MR];
    for (int i = 0; i < MR; i++) {
        c[i] = buf[i];
        if (i < h)
            for (int l = 0; l < w; l++) buf[i][l] = rows[i][cb + l];
    }
    f(c);
    for (int i = 0; i < h; i++)
        for (int l = 0; l < w; l++) rows[i][cb + l] = buf[i][l];
}

// Rows r0 .. r1 below the panel over the panel's columns, by tiles; every
// row's L factors must start at or before k0 and every panel row reach k1-1.
ZK_INLINE void panel_below_tiled_body(Solve &s, int k0, int k1, int r0, int r1) {
    const int nb = (k1 - k0 + NR - 1) / NR;
    // P: block q holds the panel's rows 0 .. 16q+15 over the block's columns.
    float *P = s.Pp.data();
    for (int q = 0, off = 0; q < nb; q++) {
        const int cb = k0 + NR * q;
        for (int j = 0; j < NR * (q + 1); j++) {
            float *dst = P + off + NR * j;
            for (int l = 0; l < NR; l++)
                dst[l] = k0 + j < k1 && cb + l < k1 ? s.K[k0 + j][cb + l] : 0.0f;
        }
        off += NR * NR * (q + 1);
    }
    float *A = s.Ap.data();
    for (int rb = r0; rb <= r1; rb += MR) {
        const int h = std::min(MR, r1 - rb + 1);
        float *rows[MR];
        for (int i = 0; i < MR; i++) rows[i] = s.K[rb + std::min(i, h - 1)];
        // The next group's rows, while this one works.
        for (int r = rb + MR; r < std::min(rb + 2 * MR, r1 + 1); r++)
            for (int c = k0; c < k1; c += NR) __builtin_prefetch(s.K[r] + c, 1);
        for (int q = 0, off = 0; q < nb; q++) {
            const int cb = k0 + NR * q;
            on_tile(rows, h, cb, std::min(NR, k1 - cb),
                    [&](float *const *c) { tile_lower(NR * q, A, P + off, c); });
            off += NR * NR * (q + 1);
        }
    }
}

// The panel's rows over columns c0 .. c1 beyond it, by tiles; every row's L
// factors must start at or before k0 and every panel row reach c1.
ZK_INLINE void panel_right_tiled_body(Solve &s, int k0, int k1, int c0, int c1) {
    const int m = k1 - k0;
    const int ng = (m + MR - 1) / MR;
    // A: group g holds its rows' L factors over the panel's columns left of
    // the group; G and the pivots: the factors within the group.
    float *A = s.Ap.data();
    float *G = s.Gp.data();
    for (int g = 0, off = 0; g < ng; g++) {
        const int kb = k0 + MR * g;
        for (int i = 0; i < MR; i++) {
            const bool real = kb + i < k1;
            for (int j = 0; j < MR * g; j++) A[off + MR * j + i] = real ? s.K[kb + i][k0 + j] : 0.0f;
            for (int jj = 0; jj < MR; jj++)
                G[MR * MR * g + MR * i + jj] = real && jj < i ? s.K[kb + i][kb + jj] : 0.0f;
            G[MR * MR * ng + MR * g + i] = real ? s.piv[kb + i] : 1.0f;
        }
        off += MR * MR * g;
    }
    float *B = s.Bp.data();
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
                    __builtin_prefetch(s.K[k] + ncb, 1);
                    __builtin_prefetch(s.K[k] + ncb + NR - 1, 1);
                }
            float *rows[MR];
            for (int i = 0; i < MR; i++) rows[i] = s.K[kb + std::min(i, h - 1)];
            on_tile(rows, h, cb, w, [&](float *const *c) {
                tile_upper(MR * g, A + off, B, G + MR * MR * g, G + MR * MR * ng + MR * g, c);
            });
            off += MR * MR * g;
        }
    }
}

// The trailing update of the panel [k0, k1) on rows r0 .. r1, columns c0 .. c1:
// K(r, c) = K(r, c) - K(j, c) * K(r, j) for j = k0 .. k1-1 in order.
ZK_INLINE void trailing_body(Solve &s, int k0, int k1, int r0, int r1, int c0, int c1) {
    const int kc = k1 - k0;
    for (int jc = c0; jc <= c1; jc += NC) {
        const int nc = std::min(NC, c1 - jc + 1);
        const int ntiles = (nc + NR - 1) / NR;
        float *B = s.Bp.data();
        for (int t = 0; t < ntiles; t++) {
            const int cb = jc + t * NR;
            const int w = std::min(NR, jc + nc - cb);
            float *bt = B + std::size_t(t) * kc * NR;
            for (int j = 0; j < kc; j++) {
                const float *src = s.K[k0 + j] + cb;
                float *dst = bt + NR * j;
                int l = 0;
                for (; l < w; l++) dst[l] = src[l];
                for (; l < NR; l++) dst[l] = 0.0f;
            }
        }
        for (int ic = r0; ic <= r1; ic += MC) {
            const int mc = std::min(MC, r1 - ic + 1);
            const int mtiles = (mc + MR - 1) / MR;
            float *A = s.Ap.data();
            for (int t = 0; t < mtiles; t++) {
                float *at = A + std::size_t(t) * kc * MR;
                for (int i = 0; i < MR; i++) {
                    int r = ic + t * MR + i;
                    if (r < ic + mc) {
                        const float *src = s.K[r] + k0;
                        for (int j = 0; j < kc; j++) at[MR * j + i] = src[j];
                    } else {
                        for (int j = 0; j < kc; j++) at[MR * j + i] = 0.0f;
                    }
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
                            __builtin_prefetch(s.K[r] + ncb, 1);
                            __builtin_prefetch(s.K[r] + ncb + NR - 1, 1);
                        }
                    if (h == MR && w == NR) {
                        float *rows[MR];
                        for (int i = 0; i < MR; i++) rows[i] = s.K[rb + i] + cb;
                        tile(kc, at, bt, rows);
                    } else {
                        // Edge tile: work on a copy, store back only the real part.
                        float buf[MR][NR] = {};
                        float *rows[MR];
                        for (int i = 0; i < MR; i++) {
                            rows[i] = buf[i];
                            if (i < h)
                                for (int l = 0; l < w; l++) buf[i][l] = s.K[rb + i][cb + l];
                        }
                        tile(kc, at, bt, rows);
                        for (int i = 0; i < h; i++)
                            for (int l = 0; l < w; l++) s.K[rb + i][cb + l] = buf[i][l];
                    }
                }
            }
        }
    }
}

struct Kernels {
    float (*panel_row)(Solve &, int, int, int);
    void (*panel_right)(Solve &, int, int, int, int);
    void (*panel_below)(Solve &, int, int, int, int);
    void (*trailing)(Solve &, int, int, int, int, int, int);
    void (*panel_right_tiled)(Solve &, int, int, int, int);
    void (*panel_below_tiled)(Solve &, int, int, int, int);
};

#define ZK_KERNELS(SUFFIX, ATTR)                                                                   \
    ATTR float panel_row_##SUFFIX(Solve &s, int k, int k0, int k1) {                               \
        return panel_row_body(s, k, k0, k1);                                                       \
    }                                                                                              \
    ATTR void panel_right_##SUFFIX(Solve &s, int k0, int k1, int c0, int c1) {                     \
        panel_right_body(s, k0, k1, c0, c1);                                                       \
    }                                                                                              \
    ATTR void panel_below_##SUFFIX(Solve &s, int k0, int k1, int r0, int r1) {                     \
        panel_below_body(s, k0, k1, r0, r1);                                                       \
    }                                                                                              \
    ATTR void trailing_##SUFFIX(Solve &s, int k0, int k1, int r0, int r1, int c0, int c1) {        \
        trailing_body(s, k0, k1, r0, r1, c0, c1);                                                  \
    }                                                                                              \
    ATTR void panel_right_tiled_##SUFFIX(Solve &s, int k0, int k1, int c0, int c1) {               \
        panel_right_tiled_body(s, k0, k1, c0, c1);                                                 \
    }                                                                                              \
    ATTR void panel_below_tiled_##SUFFIX(Solve &s, int k0, int k1, int r0, int r1) {               \
        panel_below_tiled_body(s, k0, k1, r0, r1);                                                 \
    }                                                                                              \
    const Kernels kernels_##SUFFIX = {panel_row_##SUFFIX,         panel_right_##SUFFIX,            \
                                      panel_below_##SUFFIX,       trailing_##SUFFIX,               \
                                      panel_right_tiled_##SUFFIX, panel_below_tiled_##SUFFIX};

// AVX2 has separate multiply and subtract instructions, both rounded as the
// scalar ones; fused multiply-add stays off (no "fma" target).
ZK_KERNELS(avx2, __attribute__((target("avx2"))))
ZK_KERNELS(base, )

const Kernels &kernels() {
    static const Kernels &k = [] () -> const Kernels & {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? kernels_avx2 : kernels_base;
    }();
    return k;
}

// Maps the pages of a long row that were never written, all at once, before
// the row is read: read one by one, each would take a fault of its own. The
// contents do not change (such pages read as zeros either way), nor does the
// resident memory (they all map the one shared zero page).
void prefault(const float *row, int n) {
#ifdef MADV_POPULATE_READ
    constexpr std::uintptr_t page = 4096;
    if (std::size_t(n) * sizeof(float) < 16 * page) return;
    auto from = (reinterpret_cast<std::uintptr_t>(row) + page - 1) & ~(page - 1);
    auto to = reinterpret_cast<std::uintptr_t>(row + n) & ~(page - 1);
    if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_READ);
#else
    (void)row;
    (void)n;
#endif
}

typedef std::uint32_t u4 __attribute__((vector_size(16)));

// True when the 32 bit patterns at p are all zero (one vector test, not 32).
inline bool zero32(const std::uint32_t *p) {
    u4 v[8];
    std::memcpy(v, p, sizeof v);
    u4 o = (v[0] | v[1]) | (v[2] | v[3]) | ((v[4] | v[5]) | (v[6] | v[7]));
    std::uint64_t h[2];
    std::memcpy(h, &o, sizeof h);
    return (h[0] | h[1]) == 0;
}

// Index of the first non-zero bit pattern in u[from .. to), or `to`.
int first_set(const std::uint32_t *u, int from, int to) {
    int c = from;
    while (c + 32 <= to && zero32(u + c)) c += 32;
    for (; c < to; c++)
        if (u[c]) return c;
    return to;
}

// Index of the last non-zero bit pattern in u[from .. to), or from - 1.
int last_set(const std::uint32_t *u, int from, int to) {
    int c = to;
    while (c - 32 >= from && zero32(u + c - 32)) c -= 32;
    for (; c > from; c--)
        if (u[c - 1]) return c - 1;
    return from - 1;
}

// True when u[from .. to) holds -0, an infinity or a NaN.
bool has_special(const std::uint32_t *u, int from, int to) {
    std::uint32_t bad = 0; // without branches, so that the loop vectorises
    for (int c = from; c < to; c++)
        bad |= std::uint32_t((u[c] & exp_mask) == exp_mask) | std::uint32_t(u[c] == neg_zero);
    return bad != 0;
}

// Sets the reach of every step over the full matrix.
void set_dense(Solve &s) {
    std::fill(s.R.begin(), s.R.end(), s.n - 1);
    std::fill(s.C.begin(), s.C.end(), s.n - 1);
    std::fill(s.Lo.begin(), s.Lo.end(), 0);
}

// Factors the matrix: pivots into s.piv, U in the upper rows (divided), the
// L factors left undivided in the lower rows. Returns the index of an exactly
// zero pivot, or -1.
int factor(Solve &s, const Kernels &kr) {
    const int n = s.n;
    for (int k0 = 0; k0 < n; k0 += s.b) {
        const int k1 = std::min(n, k0 + s.b);
        for (int k = k0; k < k1; k++) {
            float p = kr.panel_row(s, k, k0, k1);
            s.piv[k] = p;
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
        if (!finite(s.piv[r]) && r < upto) return false;
        int hi = std::min(s.R[r], upto);
        const float *row = s.K[r];
        std::uint32_t bad = 0; // without branches, so that the loop vectorises
        for (int c = s.Lo[r]; c <= hi; c++) bad |= std::uint32_t(!finite(row[c]));
        if (bad) return false;
    }
    return true;
}

} // namespace

int gauss_solve(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx) {
    if (ni <= 0) return 0;
    Solve s;
    s.K = K;
    s.n = ni;
    std::vector<int> lo, hi;
    std::vector<float> saved;
    std::vector<std::size_t> off;
    bool dense = false;
    try {
        s.R.resize(ni);
        s.C.resize(ni);
        s.Lo.resize(ni);
        s.piv.resize(ni);
        lo.resize(ni);
        hi.resize(ni);

        // Reach of every row: first and last non-zero bit pattern.
        std::size_t inside = 0;
        for (int r = 0; r < ni; r++) {
            prefault(K[r], ni);
            auto u = reinterpret_cast<const std::uint32_t *>(K[r]);
            lo[r] = first_set(u, 0, r);
            int h = last_set(u, r + 1, ni);
            hi[r] = h < r + 1 ? r : h;
            if (has_special(u, lo[r], hi[r] + 1)) dense = true;
            inside += std::size_t(hi[r] - lo[r] + 1);
        }
        // Zeros beyond the envelope stay exact zeros only when no value is -0
        // or non-finite; a nearly full envelope gains nothing.
        if (double(inside) > 0.5 * double(ni) * double(ni)) dense = true;
        if (dense) {
            set_dense(s);
        } else {
            int m = 0;
            for (int k = 0; k < ni; k++) s.R[k] = m = std::max(m, hi[k]);
            for (int k = 0; k < ni; k++) s.C[k] = k;
            for (int r = 0; r < ni; r++) s.C[lo[r]] = std::max(s.C[lo[r]], r);
            m = 0;
            for (int k = 0; k < ni; k++) s.C[k] = m = std::max(m, s.C[k]);
            int k = 0;
            for (int r = 0; r < ni; r++) {
                while (s.C[k] < r) k++;
                s.Lo[r] = k;
            }
            off.resize(std::size_t(ni) + 1);
            off[0] = 0;
            for (int r = 0; r < ni; r++) off[r + 1] = off[r] + std::size_t(hi[r] - lo[r] + 1);
            saved.resize(off[ni]);
            for (int r = 0; r < ni; r++)
                std::memcpy(&saved[off[r]], K[r] + lo[r], sizeof(float) * (hi[r] - lo[r] + 1));
        }
        // Panel width: wide for full rows, narrow for short reaches.
        double reach = double(inside) / ni;
        s.b = dense || reach > 1024 ? 192 : reach > 256 ? 64 : 32;
        s.Ap.resize(std::size_t(MC + MR) * s.b);
        s.Bp.resize(std::size_t(NC + NR) * s.b);
        const std::size_t nb = (s.b + NR - 1) / NR, ng = (s.b + MR - 1) / MR;
        s.Ap.resize(std::max(s.Ap.size(), std::max(MR * NR * (nb + 1), MR * MR * ng * ng)));
        s.Bp.resize(std::max(s.Bp.size(), NR * (MR * ng + MR)));
        s.Pp.resize(NR * NR * nb * (nb + 1) / 2);
        s.Gp.resize(MR * MR * ng + MR * ng);
    } catch (const std::bad_alloc &) {
        return plain(K, a, ni, print, ctx);
    }

    const Kernels &kr = kernels();
    int zero = factor(s, kr);
    if (!dense && !factors_finite(s, zero < 0 ? ni : zero)) {
        // A non-finite factor meets the zeros beyond the envelope: restore the
        // input and eliminate over the full matrix.
        for (int r = 0; r < ni; r++) {
            std::fill(K[r] + s.Lo[r], K[r] + s.R[r] + 1, 0.0f);
            std::memcpy(K[r] + lo[r], &saved[off[r]], sizeof(float) * (hi[r] - lo[r] + 1));
        }
        dense = true;
        set_dense(s);
        zero = factor(s, kr);
    }
    if (print)
        for (int k = 0; k < (zero < 0 ? ni : zero + 1); k++) print(k + 1, s.piv[k], ctx);
    if (zero >= 0) return 1;

    // Forward substitution: a(r) takes a(k) * L(r, k) for k = 1 .. r-1 in order,
    // then its division by the pivot. Before Lo[r] the factors are +0: those
    // updates change nothing unless a(r) is -0 or an a(k) is not finite.
    // Each a(r) is one chain of dependent subtractions; FB rows whose factors
    // all start at or before the first of them run their chains side by side
    // over the a(k) already known, each still in order k = 1, 2, ...
    constexpr int FB = 8;
    int first_nonfinite = ni;
    for (int r = 0; r < ni;) {
        if (r + FB <= ni && s.Lo[r + FB - 1] <= r) {
            // No row of the group starts past r, so the rows of the group
            // cannot change which of the rows' chains start at 0.
            float x[FB];
            int start[FB];
            int common = 0;
            for (int i = 0; i < FB; i++) {
                x[i] = a[r + i];
                const int l = s.Lo[r + i];
                start[i] = l > 0 && (bits(x[i]) == neg_zero || first_nonfinite < l) ? 0 : l;
                common = std::max(common, start[i]);
            }
            const float *rows[FB];
            for (int i = 0; i < FB; i++) {
                rows[i] = K[r + i];
                for (int k = start[i]; k < common; k++) x[i] = x[i] - a[k] * rows[i][k];
            }
            for (int k = common; k < r; k++) {
                const float ak = a[k];
                for (int i = 0; i < FB; i++) x[i] = x[i] - ak * rows[i][k];
            }
            for (int i = 0; i < FB; i++) {
                for (int k = r; k < r + i; k++) x[i] = x[i] - a[k] * rows[i][k];
                x[i] = x[i] / s.piv[r + i];
                a[r + i] = x[i];
                if (first_nonfinite == ni && !finite(x[i])) first_nonfinite = r + i;
            }
            r += FB;
            continue;
        }
        const float *row = K[r];
        float x = a[r];
        const int l = s.Lo[r];
        if (l > 0 && (bits(x) == neg_zero || first_nonfinite < l))
            for (int k = 0; k < l; k++) x = x - a[k] * row[k];
        for (int k = l; k < r; k++) x = x - a[k] * row[k];
        x = x / s.piv[r];
        a[r] = x;
        if (first_nonfinite == ni && !finite(x)) first_nonfinite = r;
        r++;
    }

    // The division of the rows' lower parts (every row but the last), and the
    // zeros beyond the envelope, which a negative pivot turns into -0.
    for (int r = 0; r < ni - 1; r++) {
        float *row = K[r];
        const float p = s.piv[r];
        divide(row + s.Lo[r], p, r - s.Lo[r]);
        if (!dense && bits(p) & neg_zero) {
            std::fill(row, row + s.Lo[r], -0.0f);
            std::fill(row + s.R[r] + 1, row + ni, -0.0f);
        }
    }

    // Back substitution; beyond R[k] row k holds zeros, which change a(k) only
    // when it is -0 or when an a(c) there is not finite.
    int last_nonfinite = finite(a[ni - 1]) ? -1 : ni - 1;
    for (int k = ni - 2; k >= 0; k--) {
        const float *row = K[k];
        float x = a[k];
        const int rk = s.R[k];
        for (int c = k + 1; c <= rk; c++) x = x - row[c] * a[c];
        if (rk < ni - 1 && (bits(x) == neg_zero || last_nonfinite > rk))
            for (int c = rk + 1; c < ni; c++) x = x - row[c] * a[c];
        x = x / row[k];
        a[k] = x;
        if (last_nonfinite < 0 && !finite(x)) last_nonfinite = k;
    }
    return 0;
}

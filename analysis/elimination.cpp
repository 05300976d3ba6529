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
// Where a product meets two NaNs, the processor returns the NaN of its first
// source operand, and the compiler takes a product's operands in either
// order. Over the full table, which infinities and NaNs reach, every product
// is therefore made with its operands in the loops' order, NaN signs and all.
#include "elimination.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

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

// x * y with the operands in the order the loops write them. Where both are
// NaN the processor returns its first source operand's NaN, quieted, and the
// compiler may take either operand first: this takes x's. Every other product
// is the same either way round (one NaN passes through, an invalid product
// gives the default NaN).
inline float mul_first(float x, float y) {
    if (x != x && y != y) return x * x; // x, quieted
    return x * y;
}

// How the elimination's products take their operands: as the compiler likes
// (FREE), or in the loops' order (ORDERED). Only the full table needs the
// order: over the envelope every factor is finite, so no product there meets
// two NaNs.
enum product_order { FREE = 0, ORDERED = 1 };

// x * y, in the loops' order unless O is FREE.
template <int O> inline float mul(float x, float y) {
    if constexpr (O != FREE)
        return mul_first(x, y);
    else
        return x * y;
}

// The loops as written, each product in its written order: the reference, and
// the way out when the work arrays of a full table cannot be had.
int plain(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx) {
    for (int k = 0; k < ni - 1; k++) {
        float p = K[k][k];
        if (print) print(k + 1, p, ctx);
        if (p == 0.0f) return SOLVE_ZERO_PIVOT;
        float *rk = K[k];
        for (int c = 0; c < ni; c++) rk[c] = rk[c] / p;
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

} // namespace

// The kernels, compiled for processors with AVX2 and for any other.
namespace {
namespace avx2 {
#define ZK_TARGET __attribute__((target("avx2")))
#define ZK_AVX 1
#include "elimination_kernels.inc"
#undef ZK_TARGET
#undef ZK_AVX
} // namespace avx2

namespace base {
#define ZK_TARGET
#define ZK_AVX 0
#include "elimination_kernels.inc"
#undef ZK_TARGET
#undef ZK_AVX
} // namespace base

struct Kernels {
    float (*panel_row)(Solve &, int, int, int);
    void (*panel_right)(Solve &, int, int, int, int);
    void (*panel_below)(Solve &, int, int, int, int);
    void (*trailing)(Solve &, int, int, int, int, int, int);
    void (*panel_right_tiled)(Solve &, int, int, int, int);
    void (*panel_below_tiled)(Solve &, int, int, int, int);
};

#define ZK_KERNELS(SUFFIX, NS, ATTR, O)                                                            \
    ATTR float panel_row_##SUFFIX(Solve &s, int k, int k0, int k1) {                               \
        return NS::panel_row_body<O>(s, k, k0, k1);                                                \
    }                                                                                              \
    ATTR void panel_right_##SUFFIX(Solve &s, int k0, int k1, int c0, int c1) {                     \
        NS::panel_right_body<O>(s, k0, k1, c0, c1);                                                \
    }                                                                                              \
    ATTR void panel_below_##SUFFIX(Solve &s, int k0, int k1, int r0, int r1) {                     \
        NS::panel_below_body<O>(s, k0, k1, r0, r1);                                                \
    }                                                                                              \
    ATTR void trailing_##SUFFIX(Solve &s, int k0, int k1, int r0, int r1, int c0, int c1) {        \
        NS::trailing_body<O>(s, k0, k1, r0, r1, c0, c1);                                           \
    }                                                                                              \
    ATTR void panel_right_tiled_##SUFFIX(Solve &s, int k0, int k1, int c0, int c1) {               \
        NS::panel_right_tiled_body<O>(s, k0, k1, c0, c1);                                          \
    }                                                                                              \
    ATTR void panel_below_tiled_##SUFFIX(Solve &s, int k0, int k1, int r0, int r1) {               \
        NS::panel_below_tiled_body<O>(s, k0, k1, r0, r1);                                          \
    }                                                                                              \
    const Kernels kernels_##SUFFIX = {panel_row_##SUFFIX,         panel_right_##SUFFIX,            \
                                      panel_below_##SUFFIX,       trailing_##SUFFIX,               \
                                      panel_right_tiled_##SUFFIX, panel_below_tiled_##SUFFIX};

// AVX2 has separate multiply and subtract instructions, both rounded as the
// scalar ones; fused multiply-add stays off (no "fma" target). The ordered
// sets serve the full table, the others the envelope.
ZK_KERNELS(avx2, avx2, __attribute__((target("avx2"))), FREE)
ZK_KERNELS(base, base, , FREE)
ZK_KERNELS(avx2_ordered, avx2, __attribute__((target("avx2"))), ORDERED)
ZK_KERNELS(base_ordered, base, , ORDERED)

// The kernels for this processor; with every product in the loops' order
// when `ordered`.
const Kernels &kernels(bool ordered) {
    static const bool has_avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    const bool avx2 = has_avx2 && !elimination_without_avx2;
    if (ordered) return avx2 ? kernels_avx2_ordered : kernels_base_ordered;
    return avx2 ? kernels_avx2 : kernels_base;
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

bool elimination_without_avx2 = false;

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

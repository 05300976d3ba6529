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
// entry per set (elimination_kernels.h): a portable set, and on x86 a set
// compiled for AVX2, which processors that have it take; fused multiply-add
// stays off (no "fma" target). Here: the plain loops, the drivers and the
// substitutions.
#include "elimination.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "elimination_kernels.h"
#include "test_switches.h"

namespace {

using namespace elimination_kernels;

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

// Panel width: wide for full rows, narrow for short reaches.
int panel_width(double reach) { return reach > 1024 ? 192 : reach > 256 ? 64 : 32; }

// Sizes the work arrays for n equations and panels of b steps; throws std::bad_alloc.
void size_work(Work &w, int n, int b) {
    const std::size_t nb = (b + NR - 1) / NR, ng = (b + MR - 1) / MR;
    w.piv.assign(n, 0.0f);
    w.Ap.assign(std::max({std::size_t(MC + MR) * b, MR * NR * (nb + 1), MR * MR * ng * ng}), 0.0f);
    w.Bp.assign(std::max(std::size_t(NC + NR) * b, NR * (MR * ng + MR)), 0.0f);
    w.Pp.assign(NR * NR * nb * (nb + 1) / 2, 0.0f);
    w.Gp.assign(MR * MR * ng + MR * ng, 0.0f);
}

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

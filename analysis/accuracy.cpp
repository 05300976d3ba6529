// The check of a solve: the residual of the free equations in double
// precision, computed from the bars; the correction that the elimination's
// own factors make of it, in double precision and not applied; the errors of
// the displacements and the bar forces that the correction shows; the pivots
// that lost nearly all of their diagonal.
#include "accuracy.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "analysis.h"
#include "solve_work.h"

void reset_accuracy() {
    last_accuracy = accuracy_report();
}

bool accuracy_work::take(int n) {
    try {
        diag.assign(std::size_t(n), 0.0f);
        piv.assign(std::size_t(n), 0.0f);
        residual.assign(std::size_t(n), 0.0);
    } catch (const std::bad_alloc &) {
        *this = accuracy_work();
        return false;
    }
    return true;
}

namespace {

// Degree of freedom of end e, axis j of bar `bar`.
int dof(int bar, int e, int j) {
    return 2 * (ndb[2 * bar + e] - 1) + j;
}

// Magnitude of the axial force that the bar's block makes of the relative
// displacement (dx, dy) of its ends: the block is EA/L^3 times the outer
// product of the bar's projections, so its product with the displacement is
// the axial force along the bar.
double axial(const float *block, double dx, double dy) {
    const double fx = double(block[0]) * dx + double(block[1]) * dy;
    const double fy = double(block[2]) * dx + double(block[3]) * dy;
    return std::sqrt(fx * fx + fy * fy); // correctly rounded on every processor, unlike hypot
}

// Sum of row[c - base] * x[c] for c = lo .. hi-1, in double precision, in
// four partial sums so that the additions do not wait on each other. Column c
// always goes to partial sum c mod 4: a table that stores more columns adds
// only exact zeros, and the sum keeps its bits whatever the table's layout.
double dot(const float *row, int base, const double *x, int lo, int hi) {
    double s[4] = {0, 0, 0, 0};
    int c = lo;
    for (; c < hi && (c & 3) != 0; c++)
        s[c & 3] += double(row[c - base]) * x[c];
    for (; c + 4 <= hi; c += 4)
        for (int j = 0; j < 4; j++)
            s[j] += double(row[c + j - base]) * x[c + j];
    for (; c < hi; c++)
        s[c & 3] += double(row[c - base]) * x[c];
    return (s[0] + s[1]) + (s[2] + s[3]);
}

// Solves L U x = r in place: x holds r on entry.
void substitute(const factor_rows &f, const float *piv, double *x) {
    const int n = f.n;
    auto first = [&](int r) { return f.first ? f.first[r] : 0; };
    auto last = [&](int r) { return f.last ? f.last[r] : n - 1; };
    for (int r = 0; r < n; r++) {
        const int lo = first(r);
        x[r] = (x[r] - dot(f.row[r], lo, x, lo, r)) / double(piv[r]);
    }
    for (int k = n - 2; k >= 0; k--)
        x[k] -= dot(f.row[k], first(k), x, k + 1, last(k) + 1);
}

// Error over scale: 0 for no error; 1 (all of it) where the scale is zero
// and the error is not: the printed values are zero, the exact ones not.
double ratio(double err, double scale) {
    return err == 0 ? 0.0 : scale == 0 ? 1.0 : err / scale;
}

} // namespace

void check_accuracy(const factor_rows &f, accuracy_work &w, const float_list &blocks,
                    const float *a) {
    accuracy_report rep;
    rep.estimated = true;

    // Pivots: the stiffness of a stable truss is positive definite, so every
    // pivot stays positive and keeps a fair part of its diagonal. A bar of
    // negative stiffness (a negative area or modulus) voids that, and its
    // pivots are left alone.
    bool definite = true;
    for (std::size_t i = 0; i < 4 * std::size_t(nb); i += 4)
        if (blocks[i] < 0 || blocks[i + 3] < 0) definite = false;
    for (int k = 0; definite && k < f.n; k++) {
        const float p = w.piv[k];
        if (!std::isfinite(p)) continue;
        if (double(p) <= lost_pivot_fraction * std::fabs(double(w.diag[k]))) {
            if (rep.lost_count < max_lost_kept) rep.lost.push_back({k, p});
            rep.lost_count++;
        }
    }

    // Every displacement as solved, the prescribed ones included.
    auto disp = [&](int i) { return v[i] >= 0 ? double(a[v[i]]) : double(d[i]); };

    // Residual of the free equations: the loads minus what the bars take,
    // term by term as the assembly adds them.
    double *x = w.residual.data();
    std::fill(x, x + f.n, 0.0);
    bool loaded = false; // a load acts at a free degree of freedom
    for (int i = 0; i < 2 * nn; i++)
        if (v[i] >= 0) {
            x[v[i]] = double(q[i]);
            loaded = loaded || q[i] != 0;
        }
    for (int b = 0; b < nb; b++)
        for_each_term(b, &blocks[4 * std::size_t(b)], [&](int row, int col, float t) {
            if (v[row] >= 0) x[v[row]] -= double(t) * disp(col);
        });
    substitute(f, w.piv.data(), x);

    // Displacements: the largest correction against the largest displacement.
    auto corr = [&](int i) { return v[i] >= 0 ? x[v[i]] : 0.0; };
    double umax = 0, dmax = 0;
    for (int i = 0; i < 2 * nn; i++)
        umax = std::max(umax, std::fabs(disp(i)));
    for (int r = 0; r < f.n; r++) {
        if (!std::isfinite(x[r])) rep.finite = false;
        if (std::fabs(x[r]) > dmax) {
            dmax = std::fabs(x[r]);
            rep.worst = r;
        }
    }
    // Bar forces: the largest correction against the largest force. Where no
    // load acts at a free degree of freedom, the forces may be zero to
    // rounding (a settlement of a statically determinate truss): then the
    // scale is at least the force that each moved support would bring into
    // the bars that reach it if they resisted it. A load keeps the real
    // forces as the scale, which a stiff bar's movement would dwarf.
    double nmax = 0, floor = 0, cmax = 0;
    for (int b = 0; b < nb; b++) {
        const float *block = &blocks[4 * std::size_t(b)];
        const int s0 = dof(b, 0, 0), s1 = dof(b, 0, 1), e0 = dof(b, 1, 0), e1 = dof(b, 1, 1);
        nmax = std::max(nmax, axial(block, disp(e0) + corr(e0) - disp(s0) - corr(s0),
                                    disp(e1) + corr(e1) - disp(s1) - corr(s1)));
        const double c = axial(block, corr(e0) - corr(s0), corr(e1) - corr(s1));
        if (!std::isfinite(c)) rep.finite = false;
        cmax = std::max(cmax, c);
        if (loaded) continue;
        double moved = 0;
        for (int i : {s0, s1, e0, e1})
            if (v[i] < 0) moved = std::max(moved, std::fabs(double(d[i])));
        const double ea_l = std::fabs(double(block[0]) + double(block[3]));
        if (moved > 0) floor = std::max(floor, ea_l * moved);
    }
    rep.displacement = ratio(dmax, umax);
    rep.force = ratio(cmax, std::max(nmax, floor));
    if (!std::isfinite(rep.displacement) || !std::isfinite(rep.force)) rep.finite = false;
    last_accuracy = std::move(rep);
}

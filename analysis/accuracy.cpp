// The check of a solve: the residual of the free equations in double
// precision, computed from the bars; the correction that the elimination's
// own factors make of it, in double precision and not applied; the errors of
// the displacements and the bar forces that the correction shows; the pivots
// that lost nearly all of their diagonal.
#include "accuracy.h"

#include <algorithm>
#include <cmath>

#include "analysis.h"
#include "solve_work.h"

void reset_accuracy() {
    last_accuracy = accuracy_report();
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

// Sum of a[i] * x[i], i = 0 .. n-1, in double precision; four partial sums,
// so that the additions do not wait on each other.
double dot(const float *a, const double *x, int n) {
    double s[4] = {0, 0, 0, 0};
    int i = 0;
    for (; i + 4 <= n; i += 4)
        for (int j = 0; j < 4; j++)
            s[j] += double(a[i + j]) * x[i + j];
    for (; i < n; i++)
        s[0] += double(a[i]) * x[i];
    return (s[0] + s[1]) + (s[2] + s[3]);
}

// Solves L U x = r in place: x holds r on entry.
void substitute(const factor_rows &f, const float *piv, double *x) {
    const int n = f.n;
    auto first = [&](int r) { return f.first ? f.first[r] : 0; };
    auto last = [&](int r) { return f.last ? f.last[r] : n - 1; };
    for (int r = 0; r < n; r++) {
        const int lo = first(r);
        x[r] = (x[r] - dot(f.row[r], x + lo, r - lo)) / double(piv[r]);
    }
    for (int k = n - 2; k >= 0; k--) {
        const int lo = first(k), hi = last(k);
        x[k] -= dot(f.row[k] + (k + 1 - lo), x + k + 1, hi - k);
    }
}

} // namespace

void check_accuracy(const factor_rows &f, const float *piv, const float *diag,
                    const float_list &blocks, const float *a) {
    accuracy_report rep;
    rep.estimated = true;

    // Pivots: the stiffness of a stable truss is positive definite, so every
    // pivot stays positive and keeps a fair part of its diagonal.
    for (int k = 0; k < f.n; k++) {
        const float p = piv[k];
        if (!std::isfinite(p)) continue;
        if (double(p) <= lost_pivot_fraction * std::fabs(double(diag[k]))) {
            if (rep.lost_count < max_lost_kept) rep.lost.push_back({k, p});
            rep.lost_count++;
        }
    }

    // Every displacement as solved, the prescribed ones included.
    auto disp = [&](int i) { return v[i] >= 0 ? double(a[v[i]]) : double(d[i]); };

    // Residual of the free equations: the loads minus what the bars take.
    std::vector<double> x;
    make_zeroed(x, std::size_t(f.n));
    for (int i = 0; i < 2 * nn; i++)
        if (v[i] >= 0) x[v[i]] = double(q[i]);
    for (int b = 0; b < nb; b++) {
        const float *block = &blocks[4 * std::size_t(b)];
        for (int e = 0; e < 2; e++)
            for (int j = 0; j < 2; j++) {
                const int row = v[dof(b, e, j)];
                if (row < 0) continue;
                double s = 0;
                for (int g = 0; g < 2; g++)
                    for (int n = 0; n < 2; n++) {
                        const double w = double(block[2 * j + n]);
                        s += (e == g ? w : -w) * disp(dof(b, g, n));
                    }
                x[row] -= s;
            }
    }
    substitute(f, piv, x.data());

    // Displacements: the largest correction against the largest displacement.
    double umax = 0, dmax = 0;
    for (int i = 0; i < 2 * nn; i++)
        umax = std::max(umax, std::fabs(disp(i)));
    for (int r = 0; r < f.n; r++)
        dmax = std::max(dmax, std::fabs(x[r]));
    // Bar forces: the largest correction against the largest force, or, where
    // the forces are zero to rounding (a settlement of a statically
    // determinate truss), against the force that each moved support would
    // bring into the bars that reach it if they resisted it.
    auto corr = [&](int i) { return v[i] >= 0 ? x[v[i]] : 0.0; };
    double nmax = 0, floor = 0, cmax = 0;
    for (int b = 0; b < nb; b++) {
        const float *block = &blocks[4 * std::size_t(b)];
        const int s0 = dof(b, 0, 0), s1 = dof(b, 0, 1), e0 = dof(b, 1, 0), e1 = dof(b, 1, 1);
        nmax = std::max(nmax, axial(block, disp(e0) - disp(s0), disp(e1) - disp(s1)));
        cmax = std::max(cmax, axial(block, corr(e0) - corr(s0), corr(e1) - corr(s1)));
        double moved = 0;
        for (int i : {s0, s1, e0, e1})
            if (v[i] < 0) moved = std::max(moved, std::fabs(double(d[i])));
        const double ea_l = std::fabs(double(block[0]) + double(block[3]));
        if (moved > 0) floor = std::max(floor, ea_l * moved);
    }
    auto ratio = [](double err, double scale) {
        return err == 0 ? 0.0 : scale == 0 ? HUGE_VAL : err / scale;
    };
    rep.displacement = ratio(dmax, umax);
    rep.force = ratio(cmax, std::max(nmax, floor));
    last_accuracy = std::move(rep);
}

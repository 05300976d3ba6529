// Measures how wrong a zelk run's printed bar forces and displacements are:
// solves the same structure again in extended precision (long double, the
// stiffness taken from the input data exactly, over its skyline) and compares.
//   true_error ZELK_OUTPUT [ZELK_STDERR] < INPUT
// prints "displacements <e_u> forces <e_N> equations <n> pivots <p>": the largest
// difference of the printed displacements over the largest true displacement,
// and of the printed bar forces over the largest true bar force (where no
// load acts at a free degree of freedom, over the larger of that and the
// force that each moved support would bring into the bars that reach it,
// EA/L times the movement); and the smallest of the printed pivots over
// their equation's diagonal. Plain analyses only (no strict sizing).
// When the extended solve finds a pivot at most 1e-12 of its diagonal (a
// mechanism), prints "mechanism pivots <p> at <q> named <k> moving <m>" and
// ends with status 2: <q> is the printed pivot of the first such equation
// over its diagonal; <k> is how many nodes the warnings in ZELK_STDERR name
// ("node N, axis A:"), <m> how many of them move in a mechanism (a
// displacement of one of the modes at least 1e-6 of its largest). Ends with status 2 when the
// output lacks its lists.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "structure_io.h"

int debug = 0; // read by the library

namespace {

using real = long double;

[[noreturn]] void fail(const char *why) {
    std::fprintf(stderr, "true_error: %s\n", why);
    std::exit(2);
}

// The printed lists N (first number of each row) and D (pairs) of an output.
void read_output(const char *path, int nb, int nn, std::vector<double> &N, std::vector<double> &D,
                 std::vector<double> &piv) {
    std::ifstream in(path);
    if (!in) fail("cannot read the output");
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line))
        lines.push_back(line);
    for (const std::string &l : lines) {
        int k;
        double p;
        if (std::sscanf(l.c_str(), "# equation %d pivot: %lf", &k, &p) == 2) {
            if (k == 1) piv.clear();
            piv.push_back(p);
        }
    }
    std::size_t i = 0;
    for (std::size_t k = 0; k < lines.size(); k++)
        if (lines[k] == "N") i = k + 1; // the last list N
    if (i == 0) fail("no list N in the output");
    for (int b = 0; b < nb; b++)
        N.push_back(std::stod(lines.at(i + b)));
    std::size_t j = 0;
    for (std::size_t k = 0; k < lines.size(); k++)
        if (lines[k].rfind("D\t", 0) == 0) j = k;
    if (j == 0) fail("no list D in the output");
    for (int n = 0; n < nn; n++) {
        std::string l = lines.at(j + n);
        l = l.substr(0, l.find('#'));
        if (n == 0) l = l.substr(1);
        std::istringstream s(l);
        double x, y;
        s >> x >> y;
        D.push_back(x);
        D.push_back(y);
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2 && argc != 3) fail("usage: true_error ZELK_OUTPUT [ZELK_STDERR] < INPUT");
    int nb = 0, nm = 0, nn = 0, ns = 0;
    float_list As, cdn, d, E, q;
    int_list ms, ndb, sb, v;
    in_stdin("zelk", &nb, nullptr, &nm, &nn, &ns, &As, &cdn, &d, &E, &ms, &ndb, &q, &sb, &v,
             nullptr, nullptr, nullptr, 0);
    const int m = 2 * nn;
    q.resize(m, 0.0f);
    v.resize(m, 0);
    d.resize(m, 0.0f);
    std::vector<double> Np, Dp, piv;
    read_output(argv[1], nb, nn, Np, Dp, piv);

    // Equation numbers of the free degrees of freedom.
    std::vector<int> eq(m, -1);
    int n = 0;
    for (int i = 0; i < m; i++)
        if (v[i] == 0) eq[i] = n++;

    struct Bar {
        int dof[4];
        real c, s, k; // direction cosines, EA/L
    };
    std::vector<Bar> bars(nb);
    std::vector<int> first(n);
    for (int r = 0; r < n; r++)
        first[r] = r;
    for (int b = 0; b < nb; b++) {
        Bar &B = bars[b];
        const int a = ndb[2 * b] - 1, e = ndb[2 * b + 1] - 1;
        const real lx = real(cdn[2 * e]) - real(cdn[2 * a]);
        const real ly = real(cdn[2 * e + 1]) - real(cdn[2 * a + 1]);
        const real L = std::sqrt(lx * lx + ly * ly);
        const int s = sb[b] - 1;
        B.c = lx / L;
        B.s = ly / L;
        B.k = real(As[s]) * real(E[ms[s] - 1]) / L;
        B.dof[0] = 2 * a, B.dof[1] = 2 * a + 1, B.dof[2] = 2 * e, B.dof[3] = 2 * e + 1;
        int lo = n;
        for (int t : B.dof)
            if (eq[t] >= 0) lo = std::min(lo, eq[t]);
        for (int t : B.dof)
            if (eq[t] >= 0) first[eq[t]] = std::min(first[eq[t]], lo);
    }
    // Skyline of the lower triangle: row r holds columns first[r] .. r.
    std::vector<std::size_t> off(n + 1, 0);
    for (int r = 0; r < n; r++)
        off[r + 1] = off[r] + std::size_t(r - first[r] + 1);
    std::vector<real> K(off[n], 0), f(n, 0);
    auto at = [&](int r, int c) -> real & { return K[off[r] + std::size_t(c - first[r])]; };
    for (int i = 0; i < m; i++)
        if (eq[i] >= 0) f[eq[i]] = real(q[i]);
    for (const Bar &B : bars) {
        const real g[4] = {-B.c, -B.s, B.c, B.s};
        for (int x = 0; x < 4; x++) {
            const int r = eq[B.dof[x]];
            if (r < 0) continue;
            for (int y = 0; y < 4; y++) {
                const real w = B.k * g[x] * g[y];
                const int c = eq[B.dof[y]];
                if (c < 0)
                    f[r] -= w * real(d[B.dof[y]]);
                else if (c <= r)
                    at(r, c) += w;
            }
        }
    }
    std::vector<real> diag(n);
    for (int r = 0; r < n; r++)
        diag[r] = at(r, r);
    double pmin = HUGE_VAL;
    for (std::size_t r = 0; r < piv.size() && int(r) < n; r++)
        pmin = std::min(pmin, double(real(piv[r]) / diag[r]));
    // LDL^T over the skyline. A pivot at most 1e-12 of its diagonal is a
    // mechanism: its mode is kept, and its degree of freedom is then held,
    // so that the elimination goes on to the next mechanism, if any.
    std::vector<real> D(n);
    std::vector<bool> held(n, false), moves(n, false);
    int mechanisms = 0, first_mech = -1;
    for (int r = 0; r < n; r++) {
        for (int c = first[r]; c <= r; c++) {
            real s = at(r, c);
            for (int k = std::max(first[r], first[c]); k < c; k++)
                s -= at(r, k) * D[k] * at(c, k);
            if (c < r)
                at(r, c) = held[c] ? 0 : s / D[c];
            else
                D[r] = s;
        }
        if (!(D[r] > 1e-12L * std::fabs(diag[r]))) {
            // The mode: x_r = 1, x_k = -sum of L(j, k) x_j over j = k+1 .. r,
            // free of strain, so K x = 0 (K is positive semidefinite).
            std::vector<real> z(n, 0);
            z[r] = 1;
            for (int j = r; j > 0; j--)
                for (int k = first[j]; k < j; k++)
                    z[k] -= at(j, k) * z[j];
            real zmax = 0;
            for (real x : z) zmax = std::max(zmax, std::fabs(x));
            for (int k = 0; k <= r; k++)
                if (std::fabs(z[k]) >= 1e-6L * zmax) moves[k] = true;
            held[r] = true;
            D[r] = 1;
            if (mechanisms++ == 0) first_mech = r;
        }
    }
    if (mechanisms > 0) {
        int named = 0, moving = 0;
        if (argc == 3) {
            std::ifstream err(argv[2]);
            std::string line;
            while (std::getline(err, line)) {
                const std::size_t at_node = line.find("warning: node ");
                int node, axis;
                if (at_node == std::string::npos ||
                    std::sscanf(line.c_str() + at_node, "warning: node %d, axis %d:", &node, &axis) != 2)
                    continue;
                named++;
                bool moved = false;
                for (int t = 0; t < 2; t++) {
                    const int e = eq[2 * (node - 1) + t];
                    if (e >= 0 && moves[e]) moved = true;
                }
                moving += moved;
            }
        }
        const int r = first_mech;
        const double at_mech = r < int(piv.size()) ? double(real(piv[r]) / diag[r]) : double(NAN);
        std::printf("mechanism pivots %.4g at %.4g named %d moving %d\n", pmin, at_mech, named,
                    moving);
        return 2;
    }
    for (int r = 0; r < n; r++)
        for (int k = first[r]; k < r; k++)
            f[r] -= at(r, k) * f[k];
    for (int r = 0; r < n; r++)
        f[r] /= D[r];
    for (int r = n - 1; r >= 0; r--)
        for (int k = first[r]; k < r; k++)
            f[k] -= at(r, k) * f[r];

    auto u = [&](int i) { return eq[i] >= 0 ? f[eq[i]] : real(d[i]); };
    bool loaded = false; // a load acts at a free degree of freedom
    for (int i = 0; i < m; i++)
        if (eq[i] >= 0 && q[i] != 0) loaded = true;
    real umax = 0, uerr = 0, nmax = 0, nerr = 0, floor = 0;
    for (int i = 0; i < m; i++) {
        umax = std::max(umax, std::fabs(u(i)));
        uerr = std::max(uerr, std::fabs(u(i) - real(Dp[i])));
    }
    for (int b = 0; b < nb; b++) {
        const Bar &B = bars[b];
        const real N =
            B.k * (B.c * (u(B.dof[2]) - u(B.dof[0])) + B.s * (u(B.dof[3]) - u(B.dof[1])));
        nmax = std::max(nmax, std::fabs(N));
        nerr = std::max(nerr, std::fabs(N - real(Np[b])));
        for (int t : B.dof)
            if (eq[t] < 0 && !loaded) floor = std::max(floor, B.k * std::fabs(real(d[t])));
    }
    auto ratio = [](real e, real s) { return double(e == 0 ? 0 : e / s); };
    std::printf("displacements %.4g forces %.4g equations %d pivots %.4g\n", ratio(uerr, umax),
                ratio(nerr, std::max(nmax, floor)), n, pmin);
    return 0;
}

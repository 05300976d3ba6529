// Equation numbering and the per-bar kernel: stiffness block, strain, resize,
// axial force with its stress volumes, strain-displacement row.
#include <cmath>

#include "analysis.h"

int numeq(int *codes, int count) {
    int next = 0;
    int constrained = 0;
    for (int i = 0; i < count; i++) {
        if (codes[i] == 0)
            codes[i] = next++;
        else
            codes[i] = -++constrained;
    }
    return next;
}

namespace {

// Geometry of one bar, derived afresh at every kernel call.
struct bar_geometry {
    int start, end; // 1-based node numbers
    float Lx, Ly;   // projections, end minus start
    float L2;       // squared length, rounded once to single precision
};

bar_geometry geometry(int bar) {
    bar_geometry g;
    g.start = ndb[2 * bar];
    g.end = ndb[2 * bar + 1];
    g.Lx = cdn[2 * (g.end - 1)] - cdn[2 * (g.start - 1)];
    g.Ly = cdn[2 * (g.end - 1) + 1] - cdn[2 * (g.start - 1) + 1];
    g.L2 = float(std::pow(double(g.Lx), 2.0) + std::pow(double(g.Ly), 2.0));
    return g;
}

// Fills the block k11, k12, k21, k22 for the axial stiffness EA.
void stiffness(const bar_geometry &g, float EA, float block[4]) {
    double L3 = std::pow(double(g.L2), 1.5);
    float t = float(double(EA) / L3);
    block[0] = float(std::pow(double(g.Lx), 2.0) * double(t));
    float tLx = t * g.Lx;
    block[1] = tLx * g.Ly;
    block[2] = block[1];
    block[3] = float(std::pow(double(g.Ly), 2.0) * double(t));
}

// Strain from the end displacements u (start axis 1, 2, end axis 1, 2).
float strain(const bar_geometry &g, const float u[4]) {
    float d1 = u[2] - u[0];
    float d2 = u[3] - u[1];
    float p1 = d1 * g.Lx;
    float p2 = d2 * g.Ly;
    float sum = p1 + p2;
    return sum / g.L2;
}

// Area shown and used for the bar: its own under strict sizing, else its section's.
float area(int bar, int s) {
    return Destricto ? Aest[bar] : As[s];
}

int resize(int bar, const bar_geometry &g, int s, int m, float block[4]) {
    float stress = std::fabs(E[m] * epsest[bar]);
    float sigma = -As[s];
    if (debug)
        std::fprintf(sio_out, "bar %d: stress=%g; allowable stress=%g; strain=%g\n", bar + 1,
                     double(stress), double(sigma), double(epsest[bar]));
    float A = Aest[bar];
    float A2;
    int flag;
    if (0.001 * double(sigma) > double(stress)) {
        A2 = A;
        flag = 1;
        kept_areas++;
    } else {
        float As_ = A * stress;
        A2 = float(double(As_) / double(sigma));
        float diff = std::fabs(A2 - A);
        float sum = A + A2;
        if (2.0 * double(diff) / double(sum) < 0.0001)
            flag = 1;
        else
            flag = A2 < 0x1p-23f ? 1 : 0;
    }
    if (debug)
        std::fprintf(sio_out, "bar %d: cross-section=%g<>%g; convergence=%d\n", bar + 1, double(A2),
                     double(A), flag);
    Aest[bar] = A2;
    stiffness(g, A2 * E[m], block);
    return flag;
}

void exertion(int bar, const bar_geometry &g, int s, int m, const float u[4]) {
    float eps = strain(g, u);
    if (Destricto && Convergencia == 0) return;
    float A = area(bar, s);
    float EN = E[m] * eps;
    float N = EN * A;
    std::fprintf(sio_out, "%g # bar %d with cross-section %g (def:%g, E:%g)\n", double(N), bar + 1,
                 double(A), double(eps), double(E[m]));
    double L = std::sqrt(double(g.L2));
    double Nd = double(N);
    double w = std::fabs(Nd) * L;
    QoS += w;
    QoSs[s] += w;
    NoM += Nd * L;
    if (N < 0)
        QoSc += w;
    else
        QoSt += w;
    double Lx = double(g.Lx), Ly = double(g.Ly);
    QoSh += std::fabs(Lx * (Lx * Nd) / L);
    QoSv += std::fabs(Ly * (Ly * Nd) / L);
}

} // namespace

int barra(int mode, int bar, float block[4]) {
    bar_geometry g = geometry(bar);
    if (debug) std::fprintf(sio_out, "#b%d: ni=%d nf =%d\n", bar + 1, g.start, g.end);
    if (g.L2 == 0.0f) {
        if (debug) std::fprintf(sio_out, "# barra: null length in bar %d\n", bar + 1);
        return 1;
    }
    if (mode < BARRA_STIFFNESS || mode > BARRA_STRAIN_ROW) return 1;
    int s = sb[bar] - 1;
    int m = ms[s] - 1;
    switch (mode) {
    case BARRA_STIFFNESS: {
        std::fprintf(sio_out, "# bar %d: Lx= %g; Ly= %g;", bar + 1, double(g.Lx), double(g.Ly));
        float EA = Destricto ? E[m] : As[s] * E[m];
        std::fprintf(sio_out, " EA= %g.\n", double(EA));
        stiffness(g, EA, block);
        return 0;
    }
    case BARRA_STRAIN: {
        float eps = strain(g, block);
        if (Destricto) {
            epsest[bar] = eps;
            if (Convergencia == 0) return 0;
        }
        std::fprintf(sio_out, "%g # bar %d cross-section %g\n", double(eps), bar + 1,
                     double(area(bar, s)));
        return 0;
    }
    case BARRA_RESIZE:
        return resize(bar, g, s, m, block);
    case BARRA_EXERTION:
        exertion(bar, g, s, m, block);
        return 0;
    default: { // BARRA_STRAIN_ROW
        float rx = g.Lx / g.L2;
        float ry = g.Ly / g.L2;
        block[0] = -rx;
        block[1] = -ry;
        block[2] = rx;
        block[3] = ry;
        return 0;
    }
    }
}

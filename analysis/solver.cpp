// The plain solve: numbering, assembly of the stiffness system, loads,
// elimination, strains, exertions, stress volumes, reactions, displacements.
#include <algorithm>
#include <cmath>

#include "accuracy.h"
#include "analysis.h"
#include "elimination.h"
#include "solve_work.h"
#include "test_switches.h"

namespace {

// Calls term(row, col, w) for the sixteen terms of bar `bar`'s block, in the
// order of assembly: row end, row axis, column end, column axis; row and col
// are degrees of freedom, w the block's value with the sign of the ends.
template <class F> void for_each_term(int bar, const float block[4], F &&term) {
    const int node[2] = {ndb[2 * bar], ndb[2 * bar + 1]};
    for (int e = 0; e < 2; e++)
        for (int j = 0; j < 2; j++) {
            const int row = 2 * (node[e] - 1) + j;
            for (int f = 0; f < 2; f++)
                for (int n = 0; n < 2; n++) {
                    const int col = 2 * (node[f] - 1) + n;
                    term(row, col, e == f ? block[2 * j + n] : -block[2 * j + n]);
                }
        }
}

} // namespace

void alloc_stiffness(envelope_table &K) {
    // Row r of K is coupled to the equations that share a bar with it: from
    // the lowest to the highest of them, itself included.
    std::vector<int> lo, hi;
    try {
        lo.resize(ni);
        hi.resize(ni);
    } catch (const std::bad_alloc &) {
        fin(programa, "out of memory");
    }
    for (int r = 0; r < ni; r++)
        lo[r] = hi[r] = r;
    for (int b = 0; b < nb; b++) {
        int eq[4], m = 0;
        for (int e = 0; e < 2; e++)
            for (int j = 0; j < 2; j++) {
                const int code = v[2 * (ndb[2 * b + e] - 1) + j];
                if (code >= 0) eq[m++] = code;
            }
        if (m == 0) continue;
        const int low = *std::min_element(eq, eq + m), high = *std::max_element(eq, eq + m);
        for (int i = 0; i < m; i++) {
            lo[eq[i]] = std::min(lo[eq[i]], low);
            hi[eq[i]] = std::max(hi[eq[i]], high);
        }
    }
    if (!K.alloc(ni, lo, hi)) fin(programa, "out of memory");
    stiffness_use.envelope_values = K.stored();
}

void assemble_bar(int bar, const float block[4], envelope_table &K, Kmatrix KRg, float *a) {
    for_each_term(bar, block, [&](int row, int col, float w) {
        const int vr = v[row], vc = v[col];
        if (vr >= 0) {
            if (vc >= 0) {
                float &k = K.at(vr, vc);
                k = k + w;
            } else {
                float dw = d[col] * w;
                a[vr] = a[vr] - dw;
            }
        } else {
            if (vc >= 0) {
                KRg[-vr - 1][vc] = KRg[-vr - 1][vc] + w;
            } else {
                float dw = d[col] * w;
                q[row] = q[row] - dw;
            }
        }
    });
}

namespace {

// Passes each pivot on to the caller's printer and keeps it for the check.
struct pivot_keeper {
    pivot_printer print;
    void *ctx;
    float *piv;
};

void keep_pivot(int k, float p, void *ctx) {
    auto *keeper = static_cast<pivot_keeper *>(ctx);
    keeper->piv[k - 1] = p;
    if (keeper->print) keeper->print(k, p, keeper->ctx);
}

} // namespace

int solve_stiffness(envelope_table &K, const float_list &blocks, float *a, pivot_printer print,
                    void *ctx) {
    reset_accuracy();
    // Each equation's diagonal before the elimination, and its pivot.
    float_list diag, piv;
    make_zeroed(diag, std::size_t(ni));
    make_zeroed(piv, std::size_t(ni));
    for (int r = 0; r < ni; r++) diag[r] = K.at(r, r);
    pivot_keeper keeper{print, ctx, piv.data()};

    const bool full_only = test_switch.full_only || test_switch.plain_only;
    const int status = full_only ? SOLVE_NEEDS_FULL : gauss_solve(K, a, keep_pivot, &keeper);
    if (status == SOLVE_OK) {
        std::vector<const float *> rows;
        std::vector<int> first, last;
        try {
            rows.resize(ni);
            first.resize(ni);
            last.resize(ni);
        } catch (const std::bad_alloc &) {
            fin(programa, "out of memory");
        }
        for (int r = 0; r < ni; r++) {
            first[r] = K.first(r);
            last[r] = K.last(r);
            rows[r] = &K.at(r, first[r]);
        }
        check_accuracy({rows.data(), first.data(), last.data(), ni}, piv.data(), diag.data(),
                       blocks, a);
    }
    if (status != SOLVE_NEEDS_FULL) return status;
    // The zeros outside the envelope take part: the same sums again, in the
    // same order, into a table of every entry.
    K.release();
    owned_matrix full;
    full.alloc(ni, ni);
    stiffness_use.full_tables++;
    const Kmatrix F = full.get();
    for (int b = 0; b < nb; b++)
        for_each_term(b, &blocks[4 * std::size_t(b)], [&](int row, int col, float w) {
            if (v[row] >= 0 && v[col] >= 0) F[v[row]][v[col]] = F[v[row]][v[col]] + w;
        });
    const int full_status = test_switch.plain_only ? gauss_solve_plain(F, a, ni, keep_pivot, &keeper)
                                                     : gauss_solve_full(F, a, ni, keep_pivot, &keeper);
    if (full_status == SOLVE_OK)
        check_accuracy({F, nullptr, nullptr, ni}, piv.data(), diag.data(), blocks, a);
    return full_status;
}

void add_loads(float *a) {
    for (int i = 0; i < 2 * nn; i++)
        if (v[i] >= 0) a[v[i]] = a[v[i]] + q[i];
}

void end_displacements(int bar, const float *a, float u[4]) {
    for (int e = 0; e < 2; e++)
        for (int j = 0; j < 2; j++) {
            const int dof = 2 * (ndb[2 * bar + e] - 1) + j;
            u[2 * e + j] = v[dof] >= 0 ? a[v[dof]] : d[dof];
        }
}

void reactions(const float *a, Kmatrix KRg, bool print, double *sum) {
    for (int i = 0; i < 2 * nn; i++) {
        if (v[i] < 0) {
            const float *row = KRg[-v[i] - 1];
            q[i] = -q[i];
            for (int m = 0; m < ni; m++) {
                float t = a[m] * row[m];
                q[i] = q[i] + t;
            }
            if (print)
                std::fprintf(sio_out, "\t%d\t%d\t% .2e\n", i / 2 + 1, i % 2 + 1, double(q[i]));
            if (sum) {
                float xq = cdn[i] * q[i];
                *sum += double(xq);
            }
        } else {
            d[i] = a[v[i]];
        }
    }
}

namespace {

void print_pivot(int k, float p, void *) {
    std::fprintf(sio_out, "# equation %d pivot: %g\n", k, double(p));
}

void print_stress_volumes() {
    std::fprintf(sio_out, "#MT: VoS = %g\n#MT: NoM = %g\n", QoS, NoM);
    std::fprintf(sio_out, "#MT: VoSt = %g\n#MT: VoSc = %g\n", QoSt, QoSc);
    std::fprintf(sio_out, "#MT: VoSh = %g\n#MT: VoSv = %g\n", QoSh, QoSv);
    std::fprintf(sio_out, "#MT: result from OST if applicable\n");
    double alpha_opt = std::sqrt(QoSh / QoSv);
    double VoS_opt = 2 * std::sqrt(QoSv * QoSh);
    std::fprintf(sio_out, "#MT: alpha_opt = %g\n#MT: VoS_opt = %g\n", alpha_opt, VoS_opt);
    for (int s = 0; s < ns; s++)
        std::fprintf(sio_out, "#MT: VoS(%d) = %g\n", s + 1, QoSs[s]);
}

} // namespace

int resuelve() {
    QoS = NoM = NoMq = QoSt = QoSc = QoSv = QoSh = 0;
    ni = numeq(v.data(), 2 * nn);

    envelope_table K;
    owned_matrix KRg, B;
    float_list a, blocks;
    alloc_stiffness(K);
    KRg.alloc(2 * nn - ni, ni);
    make_zeroed(a, std::size_t(ni));
    if (imprimir_B) B.alloc(nb, 2 * nn);
    make_zeroed(blocks, 4 * std::size_t(nb));

    std::fprintf(sio_out, "\n# %d equations\n", ni);

    for (int i = 0; i < 2 * nn; i++) {
        float xq = cdn[i] * q[i];
        NoMq += double(xq);
    }

    for (int b = 0; b < nb; b++) {
        float *block = &blocks[4 * std::size_t(b)];
        if (barra(BARRA_STIFFNESS, b, block)) return 1;
        if (imprimir_B) {
            float row[4];
            if (barra(BARRA_STRAIN_ROW, b, row)) return 1;
            for (int e = 0; e < 2; e++)
                for (int j = 0; j < 2; j++)
                    B.get()[b][2 * (ndb[2 * b + e] - 1) + j] = row[2 * e + j];
        }
        assemble_bar(b, block, K, KRg.get(), a.data());
    }

    if (imprimir_B) {
        std::fprintf(sio_out, "# [strain] = [B*][g]: table B*\nX");
        out_matrix(nb, 2 * nn, B.get());
    }

    add_loads(a.data());
    if (solve_stiffness(K, blocks, a.data(), print_pivot, nullptr)) return 1;

    const bool lists = !Destricto || debug;
    if (lists) std::fprintf(sio_out, "# Bar strains\nE\n");
    for (int b = 0; b < nb; b++) {
        float u[4];
        end_displacements(b, a.data(), u);
        barra(BARRA_STRAIN, b, u);
    }
    if (lists) std::fprintf(sio_out, "# Bar exertions\nN\n");
    for (int b = 0; b < nb; b++) {
        float u[4];
        end_displacements(b, a.data(), u);
        barra(BARRA_EXERTION, b, u);
    }

    if (printQoS) print_stress_volumes();

    if (lists) std::fprintf(sio_out, "# Reactions: node axis signed-value\nR");
    reactions(a.data(), KRg.get(), lists, lists ? &NoMq : nullptr);

    if (printQoS) std::fprintf(sio_out, "#MT: NoMq = %g\n", NoMq);

    if (debug) std::fprintf(sio_out, "# 'resuelve' before Kfree of K...\n");
    K.release();
    if (debug) std::fprintf(sio_out, "# 'resuelve' before Kfree of KRg\n");
    KRg.reset();
    if (debug) std::fprintf(sio_out, "# 'resuelve' before free of a\n");
    float_list().swap(a);
    if (debug) std::fprintf(sio_out, "# 'resuelve' before return\n");

    if (Destricto) return resuelve_dimest();
    return 0;
}

// The plain solve: numbering, assembly of the stiffness system, loads,
// elimination, strains, exertions, stress volumes, reactions, displacements.
#include <algorithm>
#include <cmath>

#include "accuracy.h"
#include "analysis.h"
#include "elimination.h"
#include "solve_work.h"
#include "test_switches.h"

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

// Passes each pivot on to the caller's printer and keeps it for the check,
// and the last one, which an exactly zero pivot ends with.
struct pivot_keeper {
    pivot_printer print;
    void *ctx;
    float *piv; // null: not kept
    int last = 0;
    float last_pivot = 0;
};

void keep_pivot(int k, float p, void *ctx) {
    auto *keeper = static_cast<pivot_keeper *>(ctx);
    if (keeper->piv) keeper->piv[k - 1] = p;
    keeper->last = k;
    keeper->last_pivot = p;
    if (keeper->print) keeper->print(k, p, keeper->ctx);
}

} // namespace

int solve_stiffness(envelope_table &K, const float_list &blocks, float *a, bool check,
                    pivot_printer print, void *ctx) {
    reset_accuracy();
    // The check's arrays, before the solve writes anything: without them the
    // solve goes on unchecked.
    accuracy_work work;
    if (check && (test_switch.no_check_memory || !work.take(ni))) {
        check = false;
        last_accuracy.skipped = true;
    }
    if (check)
        for (int r = 0; r < ni; r++) work.diag[r] = K.at(r, r);
    pivot_keeper keeper{print, ctx, check ? work.piv.data() : nullptr};
    auto stopped = [&](int status) {
        if (status == SOLVE_ZERO_PIVOT) {
            last_accuracy.zero_pivot = keeper.last - 1;
            last_accuracy.zero_pivot_value = keeper.last_pivot;
        }
        return status;
    };

    const bool full_only = test_switch.full_only || test_switch.plain_only;
    const int status = full_only ? SOLVE_NEEDS_FULL : gauss_solve(K, a, keep_pivot, &keeper);
    if (status == SOLVE_OK && check)
        check_accuracy({K.rows(), K.firsts(), K.lasts(), ni}, work, blocks, a);
    if (status != SOLVE_NEEDS_FULL) return stopped(status);
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
    if (full_status == SOLVE_OK && check) check_accuracy({F, nullptr, nullptr, ni}, work, blocks, a);
    return stopped(full_status);
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
        if (barra(BARRA_STIFFNESS, b, block)) {
            last_accuracy.zero_length_bar = b;
            return 1;
        }
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
    // Only the solve whose displacements are printed is checked: this one,
    // unless strict-sizing cycles follow.
    const bool printed = !Destricto || maxciclos < 1;
    if (solve_stiffness(K, blocks, a.data(), printed, print_pivot, nullptr)) return 1;

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

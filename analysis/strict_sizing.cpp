// Strict sizing of cross-sections: cycles of resize, assembly and solution
// until every bar's area is settled or the cycle limit is reached.

#include "analysis.h"
#include "elimination.h"
#include "solve_work.h"

namespace {

// Pivot lines of a cycle: shown only with debug or in the final cycle.
void print_cycle_pivot(int k, float p, void *ctx) {
    if (*static_cast<const bool *>(ctx))
        std::fprintf(sio_out, "#  equation %d pivot: %g\n", k, double(p));
}

} // namespace

int resuelve_dimest() {
    if (debug) std::fprintf(sio_out, "\n# %d equations\n", ni);
    float_list blocks; // every bar's block of the cycle, as assembled
    make_zeroed(blocks, 4 * std::size_t(nb));
    for (int c = 1; c <= maxciclos; c++) {
        Convergencia = 0;
        kept_areas = 0;
        sizing_cycles = c;
        std::fprintf(sio_out, "# Strict selection of cross-sections: cicle %d\n", c);
        for (int i = 0; i < 2 * nn; i++)
            q[i] = qorig[i];

        envelope_table K;
        owned_matrix KRg;
        float_list a;
        alloc_stiffness(K);
        KRg.alloc(2 * nn - ni, ni);
        make_zeroed(a, std::size_t(ni));

        for (int b = 0; b < nb; b++) {
            float *block = &blocks[4 * std::size_t(b)];
            Convergencia += barra(BARRA_RESIZE, b, block);
            assemble_bar(b, block, K, KRg.get(), a.data());
        }
        if (debug) std::fprintf(sio_out, "# convergence on %d bars versus %d\n", Convergencia, nb);
        if (Convergencia != nb) Convergencia = 0;
        bool show = debug || Convergencia;

        add_loads(a.data());
        // The last cycle's displacements are printed, and only its solve is checked.
        const bool last = Convergencia || c == maxciclos;
        if (solve_stiffness(K, blocks, a.data(), last, print_cycle_pivot, &show)) return 1;

        if (show) std::fprintf(sio_out, "# Bar strains\nE\n");
        for (int b = 0; b < nb; b++) {
            float u[4];
            end_displacements(b, a.data(), u);
            barra(BARRA_STRAIN, b, u);
        }
        if (show) {
            std::fprintf(sio_out, "# Bar exertions\nN\n");
            for (int b = 0; b < nb; b++) {
                float u[4];
                end_displacements(b, a.data(), u);
                barra(BARRA_EXERTION, b, u);
            }
        }

        if (show) std::fprintf(sio_out, "# Reactions: node axis signed-value\nR");
        reactions(a.data(), KRg.get(), show, nullptr);

        K.release();
        KRg.reset();
        if (Convergencia) return 0;
    }
    return 0;
}

void warn_strict_sizing() {
    if (!Destricto || sizing_cycles == 0) return;
    if (Convergencia != 0 && kept_areas != nb) return; // converged, with areas sized
    std::fflush(sio_out); // the warnings follow the results also where both streams meet
    // Each text stays within 70 characters for any limit of up to 8 digits.
    char text[96];
    if (Convergencia == 0)
        aviso(programa,
              warning_text(text, sizeof text,
                           "strict sizing did not converge within -c %d: no forces; raise -c",
                           maxciclos));
    else // every bar took the keep-its-area branch of the resize in the final cycle
        aviso(programa, "strict sizing changed no area: every stress under 1/1000 of allowable");
}

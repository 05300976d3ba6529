// The whole-input reader: list letters, order rules, dispatch to the list
// readers, the missing-load rule and the cross-reference check.
#include <cstring>

#include "sio_private.h"

int tQ = 0;

namespace {

[[noreturn]] void stop(const char *prg, const char *format, int letter) {
    char text[96];
    char alone[2] = {char(letter), '\0'};
    if (std::strstr(format, "%1s"))
        std::snprintf(text, sizeof text, format, alone);
    else
        std::snprintf(text, sizeof text, format, letter);
    fin(prg, text);
}

void trace(const char *text) {
    if (debug) std::fputs(text, sio_err);
}

// Ends the run with the list's message when its reader failed.
void check(const char *prg, int result, const char *message) {
    if (result) fin(prg, message);
}

} // namespace

int in_stdin(const char *prg, int *nb, int *nd, int *nm, int *nn, int *ns, float_list *As,
             float_list *cdn, float_list *d, float_list *E, int_list *ms, int_list *ndb,
             float_list *q, int_list *sb, int_list *v, float_list *strains,
             float_list *exertions, Kmatrix *B, int echo) {
    prgcpy = prg;
    macro_build_prefixes();
    if (nn) *nn = 0;
    int nodes = 0, bars = 0, entries = 0, materials = 0, types = 0;
    if (in_rem(echo) == READ_EOF) return READ_EOF;

    for (;;) {
        int letter = std::getc(sio_in);
        if (letter == EOF) break;
        if (echo) std::putc(letter == 'H' ? 'N' : letter, sio_out);

        switch (letter) { /* ORDER: lists that name nodes need a C list first */
        case 'D': case 'd': case 'E': case 'e': case 'P': case 'p':
        case 'Q': case 'q': case 'R': case 'r': case 'V': case 'v':
            if (nodes == 0) stop(prg, "Table %1s before table C", letter);
            break;
        case 'X':
            if (bars == 0 || nodes == 0) stop(prg, "Tabla %1s antes que tabla B", letter);
            break;
        default:
            break;
        }
        if (debug)
            std::fprintf(sio_err, "Analizando la  tabla: %c (%d) --- %c (%d)\n", letter, letter,
                         'N', 78);

        switch (letter) {
        case 'B': case 'b':
            trace("Leyendo barras...\n");
            check(prg, in_B(&bars, ndb, sb, echo), "Error into bars list");
            if (nb) *nb = bars;
            break;
        case 'C': case 'c':
            trace("Leyendo coordenadas...\n");
            datatype = 'C';
            check(prg, in_ddn(&nodes, cdn, echo), "Error into coordinate list");
            datatype = 0;
            if (nn) *nn = nodes;
            break;
        case 'D': case 'd':
            trace("Leyendo desplazamientos...\n");
            check(prg, in_ddn(&entries, d, echo), "Error into displacement list");
            if (nd) *nd = entries;
            break;
        case 'E': case 'e':
            trace("Leyendo deformaciones...\n");
            check(prg, in_ddb(nullptr, strains, echo), "Error into strain list");
            break;
        case 'H': case 'h':
            trace("Leyendo esfuerzos...\n");
            check(prg, in_ddb(nullptr, exertions, echo), "Error into exertion list");
            break;
        case 'M': case 'm':
            trace("Leyendo materiales...\n");
            check(prg, in_tr(&materials, E, echo), "Error into material list");
            if (nm) *nm = materials;
            break;
        case 'P': case 'p':
            trace("Leyendo cargas...\n");
            ctr_load = &ctr_actions;
            check(prg, in_pdn(nodes, q, echo), "Error into load list");
            tQ = 1;
            break;
        case 'Q': case 'q':
            trace("Leyendo cargas...\n");
            ctr_load = &ctr_actions;
            check(prg, in_qdn(nodes, q, echo), "Error into load list");
            tQ = 1;
            break;
        case 'R': case 'r':
            trace("Leyendo reacciones...\n");
            ctr_load = &ctr_reactions;
            if (std::strcmp(prg, "zelk") == 0) avisozelk("omiting reading of reactions list");
            check(prg, in_qdn(nodes, q, echo), "Error into reaction list");
            break;
        case 'S': case 's':
            trace("Leyendo secciones...\n");
            check(prg, in_S(&types, As, ms, echo), "Error into section type list");
            if (ns) *ns = types;
            break;
        case 'V': case 'v':
            trace("Leyendo vinculos...\n");
            check(prg, in_V(nodes, v, d, echo), "Error into constrained displacement list");
            break;
        case 'X':
            trace("Leyendo matriz B...\n");
            check(prg, in_matrizB(nodes, bars, B, echo), "Error into matrix B list");
            break;
        default:
            if (debug)
                std::fprintf(sio_err, "Leyendo tabla desconocida...: %c (%d)\n", letter, letter);
            stop(prg, "Unknown alphanumeric character for introduce a list: %c", letter);
        }
    }

    if (!tQ) {
        aviso(prgcpy, "P and Q lists missing: we proceed anyway");
        if (in_pdn(nodes, q, echo)) fin(prgcpy, "semantic error");
        tQ = 1;
    }
    trace("calling check_stdin\n");
    check_stdin(prg, nb, nd, nm, nn, ns, As, cdn, d, E, ms, ndb, q, sb, v, strains, exertions);
    macro_lists(nodes, bars);
    return 0;
}

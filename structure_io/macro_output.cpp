// Macro definitions of nodes, bars, loads and reactions, written while the
// structure is read when the program runs under the name "dudo2va".
#include <cstring>

#include "sio_private.h"

const char *prefijoobj = "";
const char *prefijofuerzas = "";
const char *prefijomacros = "";
char preGCobjetos[80];
char preGCfuerzas[80];
int ctr_actions = 0;
int ctr_reactions = 0;
int *ctr_load = nullptr;
char datatype = 0;

namespace {

// Appends `text` to a built prefix, which holds at most 79 characters.
void append(char (&prefix)[80], const char *text) {
    std::strncat(prefix, text, sizeof prefix - 1 - std::strlen(prefix));
}

// Writes a list macro: "{" already written; items "<prefix><letter><i>" or bare numbers.
void items(const char *prefix, const char *letter, int n) {
    for (int i = 1; i < n; i++) std::fprintf(sio_out, "%s%s%d,", prefix, letter, i);
    std::fprintf(sio_out, "%s%s%d}}%%\n", prefix, letter, n);
}

// Numbers 1..n and names <prefix><letter>1..n of one list macro pair; the
// heads of both macros have been written by the caller's formats.
void numbers(int n) { items("", "", n); }

} // namespace

bool dudo_mode() { return prgcpy && std::strcmp(prgcpy, "dudo2va") == 0; }

void macro_reset() {
    preGCobjetos[0] = preGCfuerzas[0] = '\0';
    ctr_actions = ctr_reactions = 0;
    ctr_load = nullptr;
    datatype = 0;
}

void out_rem(const char *text) {
    if (prgcpy && std::strcmp(prgcpy, "zelk") == 0)
        std::fprintf(sio_out, "# %s\n", text);
    else if (dudo_mode())
        std::fprintf(sio_out, "%% %s\n", text);
    else
        fin(prgcpy, "out_rem no implementada para este programa");
}

void macro_build_prefixes() {
    if (!dudo_mode()) return;
    append(preGCfuerzas, prefijoobj);
    append(preGCfuerzas, prefijofuerzas);
    append(preGCobjetos, prefijoobj);
}

void macro_bars_begin() {
    if (dudo_mode()) out_rem("barras");
}

void macro_bar(int k, int first, int second) {
    if (dudo_mode()) std::fprintf(sio_out, "\\DefV{%sb%d}(n%d)(n%d)\n", preGCobjetos, k, first, second);
}

void macro_nodes_begin() {
    if (dudo_mode() && datatype == 'C') out_rem("nudos");
}

void macro_node(int k, float x, float y) {
    if (dudo_mode() && datatype == 'C')
        std::fprintf(sio_out, "\\DefP{%sn%d}(%g,%g)\n", preGCobjetos, k, double(x), double(y));
}

void macro_component(int node, int dir, float value) {
    if (!dudo_mode()) return;
    int *counter = ctr_load ? ctr_load : &ctr_actions;
    char letter = counter == &ctr_reactions ? 'R' : 'Q';
    ++*counter;
    if (dir == 1)
        std::fprintf(sio_out, "\\DefV{%s%c%d}(n%d)(%g,0)\n", preGCfuerzas, letter, *counter, node,
                     double(value));
    else
        std::fprintf(sio_out, "\\DefV{%s%c%d}(n%d)(0,%g)\n", preGCfuerzas, letter, *counter, node,
                     double(value));
}

void macro_polar(int node, float modulus, float angle) {
    if (!dudo_mode()) return;
    ++ctr_actions;
    std::fprintf(sio_out, "\\DefV{%sQ%d}(n%d)(%g;%g)\n", preGCfuerzas, ctr_actions, node,
                 double(modulus), double(angle));
}

void macro_lists(int nodes, int bars) {
    if (!dudo_mode()) return;
    FILE *o = sio_out;
    if (nodes) {
        std::fprintf(o, "\n\\newcommand{\\%sNumeracionDeNodos}[2][]{#2 {", prefijomacros);
        numbers(nodes);
        std::fprintf(o, "\n\\newcommand{\\%sListaDeNodos}[2][]{#2{", prefijomacros);
        items(preGCobjetos, "n", nodes);
    }
    if (bars) {
        std::fprintf(o, "\n\\newcommand{\\%sNumeracionDeBarras}[2][]{#2{", prefijomacros);
        numbers(bars);
        std::fprintf(o, "\n\\newcommand{\\%sListaDeBarras}[2][]{#2{", prefijomacros);
        items(preGCobjetos, "b", bars);
    }
    if (ctr_actions) {
        std::fprintf(o, "\n\\newcommand{\\%s%sNumeracionDeCargas}[2][]{#2{", prefijomacros,
                     prefijofuerzas);
        numbers(ctr_actions);
        std::fprintf(o, "\n\\newcommand{\\%s%sListaDeCargas}[2][]{#2{", prefijomacros,
                     prefijofuerzas);
        items(preGCfuerzas, "Q", ctr_actions);
    }
    if (ctr_reactions) {
        std::fprintf(o, "\n\\newcommand{\\%s%sNumeracionDeReacciones}[2][]{#2{", prefijomacros,
                     prefijofuerzas);
        numbers(ctr_reactions);
        std::fprintf(o, "\n\\newcommand{\\%s%sListaDeReacciones}[2][]{#2{", prefijomacros,
                     prefijofuerzas);
        items(preGCfuerzas, "R", ctr_reactions);
    }
}

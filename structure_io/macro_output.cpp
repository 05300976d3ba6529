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

// Writes the items of a list macro, "<prefix><letter><i>" for i = 1..n,
// separated by commas and closed by "}}%".
void items(const char *prefix, const char *letter, int n) {
    for (int i = 1; i < n; i++) std::fprintf(sio_out, "%s%s%d,", prefix, letter, i);
    std::fprintf(sio_out, "%s%s%d}}%%\n", prefix, letter, n);
}

// One pair of list macros: the numbering 1..n, then the names of the things.
// `forces` puts the raw force prefix into both macro names; `gap` writes the
// blank of the node numbering macro between "#2" and "{".
void list_pair(const char *what, bool forces, bool gap, const char *prefix, const char *letter,
               int n) {
    if (n == 0) return;
    const char *mid = forces ? prefijofuerzas : "";
    std::fprintf(sio_out, "\n\\newcommand{\\%s%sNumeracionDe%s}[2][]{#2%s{", prefijomacros, mid,
                 what, gap ? " " : "");
    items("", "", n);
    std::fprintf(sio_out, "\n\\newcommand{\\%s%sListaDe%s}[2][]{#2{", prefijomacros, mid, what);
    items(prefix, letter, n);
}

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
    list_pair("Nodos", false, true, preGCobjetos, "n", nodes);
    list_pair("Barras", false, false, preGCobjetos, "b", bars);
    list_pair("Cargas", true, false, preGCfuerzas, "Q", ctr_actions);
    list_pair("Reacciones", true, false, preGCfuerzas, "R", ctr_reactions);
}

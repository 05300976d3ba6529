// The drawing-script program: options, reading, checks, the initial layer
// and, when displacements are given, the magnified displaced layer.
#include <cstdio>
#include <cstdlib>

#include "zelkad.h"

int debug = 0; // the library's trace flag; this program never sets it

namespace {

const char *const default_equilibrium = "zelk_ge";
const char *const default_initial = "zelk_gi";
const float default_stretch = 100;

char fallback_name[] = "zelkad";

const char *programa = fallback_name;
int nn = 0;   // nodes (C list)
int nb = 0;   // bars (B list)
int nnd = -1; // entries of the D list; -1 while none was read
float_list cdn;
float_list d;
int_list ndb;

[[noreturn]] void usage() {
    std::fprintf(sio_out, "Usage: %s [-options]\n", programa);
    std::fprintf(sio_out, "options:\n");
    std::fprintf(sio_out, "-e string\n\tname of the equilibrium geometry  \n\t(default: %s)\n",
                default_equilibrium);
    std::fprintf(sio_out, "-f number\n\tstretching factor for displacements \n\t(default: %g)\n",
                double(default_stretch));
    std::fprintf(sio_out, "-h\n\tthis help text\n");
    std::fprintf(sio_out, "-i string\n\tname of the initial geometry layer (default: %s)\n",
                default_initial);
    std::fflush(sio_out);
    sio_exit(0);
    std::abort();
}

} // namespace

void zelkad_reset() {
    programa = fallback_name;
    nn = 0;
    nb = 0;
    nnd = -1;
    cdn.clear();
    d.clear();
    ndb.clear();
}

void script_lados(int bars, const float *coords, const int *ends, const char *layer) {
    std::fprintf(sio_out, "LAYER SET %s\n\n", layer);
    for (int b = 0; b < bars; b++) {
        std::fprintf(sio_out, "PLINE\n");
        for (int e = 0; e < 2; e++) {
            int node = ends[2 * b + e];
            std::fprintf(sio_out, "%g,%g\n", double(coords[2 * (node - 1)]), double(coords[2 * (node - 1) + 1]));
        }
        std::fprintf(sio_out, "\n");
    }
}

int zelkad_main(int argc, char **argv) {
    if (argc > 0 && argv[0]) programa = prg_name(argv[0]);

    const char *equilibrium_layer = default_equilibrium;
    const char *initial_layer = default_initial;
    float stretch_factor = default_stretch;

    for (int i = 1; i < argc; i++) {
        const char *word = argv[i];
        if (word[0] != '-') usage(); // the program takes no operands
        switch (word[1]) {
        case 'e':
            if (++i >= argc) usage();
            equilibrium_layer = argv[i];
            break;
        case 'i':
            if (++i >= argc) usage();
            initial_layer = argv[i];
            break;
        case 'f':
            if (++i >= argc) usage();
            std::sscanf(argv[i], "%g", &stretch_factor); // not a number: the factor stays
            break;
        case 'h':
            usage();
        default:
            std::fprintf(sio_out, "unknown option:%s\n", word + 1);
            usage();
        }
    }

    if (in_stdin(programa, &nb, &nnd, nullptr, &nn, nullptr, nullptr, &cdn, &d, nullptr, nullptr,
                 &ndb, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0))
        fin(programa, "semantic error");
    if (nn == 0 && nb == 0 && nnd == -1) fin(programa, nullptr); // nothing to draw
    if (nn == 0 || nb == 0) fin(programa, "semantic error");

    script_lados(nb, cdn.data(), ndb.data(), initial_layer);

    if (nnd != -1) {
        // A V list after the D list resizes the array for the node count then known,
        // so the count alone does not prove one pair per node.
        if (nnd != nn || d.size() < 2 * std::size_t(nn))
            fin(programa, "Different number of coordinates that displacements");
        for (std::size_t i = 0; i < 2 * std::size_t(nn); i++)
            cdn[i] = cdn[i] + stretch_factor * d[i];
        script_lados(nb, cdn.data(), ndb.data(), equilibrium_layer);
    }

    cdn = float_list();
    ndb = int_list();
    d = float_list();
    fin(programa, nullptr);
}

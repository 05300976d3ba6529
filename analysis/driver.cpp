// The zelk program: option scan, usage text, input and its tests, input
// check, strict-sizing switch, solve, displacement list, check of the solution,
// release, end.
#include <cassert>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "accuracy.h"
#include "analysis.h"
#include "solve_work.h"

const char *warning_text(char *text, std::size_t size, const char *format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(text, size, format, args);
    va_end(args);
    return text;
}

namespace {

char builtin_name[] = "zelk"; // used when the program is started without any word

// Ends the process directly with `status`, bypassing fin's message.
[[noreturn]] void end_process(int status) {
    std::fflush(sio_out);
    sio_exit(status);
    std::exit(status); // sio_exit must not return; keep the end certain if it does
}

[[noreturn]] void usage(int status) {
    std::fprintf(sio_out, "zelk (float version)\n");
    std::fprintf(sio_out, "Usage: %s [-options]\n", programa);
    std::fprintf(sio_out, "\toptions:\n");
    std::fprintf(sio_out, "\t-b\tprint matrix B (list X)\n");
    std::fprintf(sio_out,
                 "\t-c float\n\t\tmaximum number of cicles with strict sizing of cross-section "
                 "(default, %d)\n",
                 maxciclos);
    std::fprintf(sio_out, "\t-d\tdebug\n");
    std::fprintf(sio_out, "\t-h\tthis message\n");
    std::fprintf(sio_out, "\t-q\tprint stress volumes\n");
    std::fprintf(sio_out, "\t-s\tsilent mode: only print the main inputs and results\n");
    std::fprintf(sio_out, "\t-t\tcheck the input and print it (with some statistics)\n");
    std::fprintf(sio_out, "---\n");
    std::fprintf(
        sio_out,
        "\t-B float\n\t\tbuckling analysis with maximum imperfection equal to \"float\"\n");
    end_process(status);
}

// Reads an integer as "%d" does (leading blanks, sign, digits) into *x; a word
// that does not begin with one leaves *x alone. Values beyond int are clamped.
void scan_int(const char *word, int *x) {
    char *stop;
    errno = 0;
    long n = std::strtol(word, &stop, 10);
    if (stop == word) return;
    if (n > INT_MAX) n = INT_MAX;
    if (n < INT_MIN) n = INT_MIN;
    *x = int(n);
}

// Reads a single-precision number as "%g" does into *x; else leaves *x alone.
void scan_float(const char *word, float *x) {
    float y;
    if (std::sscanf(word, "%g", &y) == 1) *x = y;
}

// Scans the option words into the analysis state; writes the usage text and
// ends the process when a word asks for it or cannot be taken.
void scan_options(int argc, char **argv) {
    int left = argc > 0 ? argc - 1 : 0;
    int i = 1;
    while (left > 0) {
        const char *word = argv[i++];
        left--;
        if (word[0] != '-') usage(1);
        int values = 0;
        switch (word[1]) {
        case 'b':
            imprimir_B = 1;
            break;
        case 'd':
            debug = 1;
            break;
        case 'q':
            printQoS = 1;
            break;
        case 's':
            silentmode = 1;
            break;
        case 't':
            checkinputonly = 1;
            break;
        case 'h':
            usage(0);
        case 'B':
        case 'c':
        case 'y':
            values = 1;
            break;
        case 'e':
            values = 2;
            break;
        default:
            std::fprintf(sio_out, "unknown option: -%s\n", word + 1);
            usage(1);
        }
        if (values > left) usage(1); // the command line ends before the option's values
        switch (word[1]) {
        case 'B':
            buckling = 1;
            scan_float(argv[i], &buckling_tolerance);
            break;
        case 'c':
            scan_int(argv[i], &maxciclos);
            break;
        case 'y':
            escalay = 1;
            scan_float(argv[i], &factory);
            break;
        case 'e':
            expansion = 1;
            scan_float(argv[i], &expansion_eps);
            scan_float(argv[i + 1], &expansion_alfa);
            break;
        }
        i += values;
        left -= values;
    }
}

// Counts the constraint flags of the 2*nn degrees of freedom that are set.
int constrained_count() {
    int n = 0;
    for (int i = 0; i < 2 * nn; i++)
        if (v[i] != 0) n++;
    return n;
}

void statistics() {
    int nv = constrained_count();
    std::fprintf(sio_out, "# %s: NoN=%d\n", programa, nn);
    std::fprintf(sio_out, "# %s: NoE=%d\n", programa, nb);
    std::fprintf(sio_out, "# %s: NoS=%d\n", programa, ns);
    std::fprintf(sio_out, "# %s: NoM=%d\n", programa, nm);
    std::fprintf(sio_out, "# %s: NoV=%d\n", programa, nv);
    std::fprintf(sio_out, "# %s: NoG=%d\n", programa, 2 * nn - nv);
    std::fprintf(sio_out, "# %s: stdin ok\n", programa);
}

// Gives the loads, the constraint flags and the displacements one pair per
// node. Nodes that came after those lists (a longer C list read later) carry
// no load, are free, and get their displacements from the solve. The run
// ends when the displacements hold more pairs than there are nodes, or lack
// the prescribed value of a constrained degree of freedom (a D list of
// another length read after the V list).
void fit_node_arrays() {
    const std::size_t n = std::size_t(2 * nn);
    bool fits = d.size() <= n;
    for (std::size_t i = d.size(); fits && i < v.size() && i < n; i++)
        if (v[i] != 0) fits = false;
    if (!fits) fin(programa, "displacement list does not match the node count");
    try {
        if (q.size() < n) q.resize(n, 0.0f);
        if (v.size() < n) v.resize(n, 0);
        if (d.size() < n) d.resize(n, 0.0f);
    } catch (const std::bad_alloc &) {
        fin(programa, "out of memory");
    }
}

void strict_sizing_switch() {
    if (nm != 1 || !(As[0] <= 0.0f)) return;
    Destricto = 1;
    std::fprintf(sio_out, "\n# Warning: strict sizing of cross-sections\n");
    std::fflush(sio_out);
    std::fprintf(sio_err, "\n# Warning: strict sizing of cross-sections\n");
    make_zeroed(Aest, std::size_t(nb));
    make_zeroed(epsest, std::size_t(nb));
    for (float &A : Aest)
        A = 1.0f;
}

// An answer whose estimated error, of the displacements or of the bar
// forces, exceeds this fraction is spoiled. Measured against extended-precision
// solves of 1,200 trusses of twelve kinds, answers off by more than 2% were
// estimated at 2% or more, and none right to 0.05% above 0.1%: 0.1% catches
// every answer off by 2% and leaves silent every answer right to 0.05%.
constexpr double error_limit = 0.001;

// Writes a fraction as a percentage into `text`: two significant digits, or
// whole percent from 100% to 99999%.
const char *percent(char *text, std::size_t size, double fraction) {
    const double p = 100 * fraction;
    std::snprintf(text, size, p >= 99.5 && p < 99999.5 ? "%.0f%%" : "%.2g%%", p);
    return text;
}

// True when the loads, every displacement and every reaction are finite.
bool solution_finite() {
    for (int i = 0; i < 2 * nn; i++)
        if (!std::isfinite(qorig[i]) || !std::isfinite(d[i]) || (v[i] < 0 && !std::isfinite(q[i])))
            return false;
    return true;
}

// Node and axis (1-based) of 0-based equation `eq`, by the equation codes in v.
void node_axis(int eq, int *node, int *axis) {
    int i = 0;
    while (v[i] != eq) i++;
    *node = i / 2 + 1;
    *axis = i % 2 + 1;
}

// Names the pivot p of equation eq: a mechanism there, or stiffness below
// what single precision holds.
void warn_pivot(int eq, float p) {
    char text[96];
    int node, axis;
    node_axis(eq, &node, &axis);
    aviso(programa, warning_text(text, sizeof text,
                                 "node %d, axis %d: pivot %.2g: a mechanism, or rounding lost it",
                                 node, axis, double(p)));
}

// Warns, after the results, when the solution printed holds infinite or
// undefined values, or when the estimated error of its displacements or its
// bar forces exceeds error_limit, and then names the equation whose
// correction is largest (in a mechanism, a node that moves in it); names
// each pivot lost beside its diagonal, spoiled or not: a mechanism there, or
// stiffness that rounding lost; says when the check could not be made.
void check_solution() {
    const accuracy_report &acc = last_accuracy;
    char text[96], du[16], dn[16];
    if (acc.skipped) {
        std::fflush(sio_out);
        aviso(programa, "the solution was not checked: no memory for the check");
        return;
    }
    if (!acc.estimated) return;
    const bool values = solution_finite();
    const bool spoiled = !acc.finite || acc.displacement > error_limit || acc.force > error_limit;
    if (values && !spoiled && acc.lost_count == 0) return;
    std::fflush(sio_out); // the warnings follow the results also where both streams meet
    if (!values)
        aviso(programa, "the solution holds infinite or undefined values: it is spoiled");
    else if (!acc.finite)
        aviso(programa, "spoiled: the check of the solution met infinite or undefined values");
    else if (spoiled)
        aviso(programa, warning_text(text, sizeof text,
                                     "spoiled: displacements off by about %s, bar forces by %s",
                                     percent(du, sizeof du, acc.displacement),
                                     percent(dn, sizeof dn, acc.force)));
    bool worst_named = false;
    for (const lost_pivot &p : acc.lost) {
        warn_pivot(p.equation, p.pivot);
        worst_named = worst_named || p.equation == acc.worst;
    }
    if (acc.lost_count > int(acc.lost.size()))
        aviso(programa, warning_text(text, sizeof text, "%d more pivots lost like these",
                                     acc.lost_count - int(acc.lost.size())));
    if (values && spoiled && acc.worst >= 0 && !worst_named) {
        int node, axis;
        node_axis(acc.worst, &node, &axis);
        aviso(programa, warning_text(text, sizeof text,
                                     "node %d, axis %d: off the most (a mechanism moves here, if any)",
                                     node, axis));
    }
    if (acc.lost_count > 0)
        aviso(programa, "a bar or a support may be missing where a pivot is lost");
}

// Names what stopped the solve before the run's error: a bar of zero length,
// or the equation whose pivot was exactly zero.
void warn_no_solution() {
    const accuracy_report &acc = last_accuracy;
    std::fflush(sio_out);
    if (acc.zero_length_bar >= 0) {
        const int b = acc.zero_length_bar;
        char text[96];
        aviso(programa, warning_text(text, sizeof text,
                                     "bar %d, from node %d to node %d, has zero length", b + 1,
                                     ndb[2 * b], ndb[2 * b + 1]));
    } else if (acc.zero_pivot >= 0) {
        warn_pivot(acc.zero_pivot, acc.zero_pivot_value);
        aviso(programa, "a bar or a support may be missing where a pivot is lost");
    }
}

// Frees an input array; its absence is an assertion failure naming it.
#define RELEASE(name)                                                                              \
    do {                                                                                           \
        {                                                                                          \
            const bool name = !::name.empty();                                                     \
            assert(name);                                                                          \
            (void)name;                                                                            \
        }                                                                                          \
        decltype(::name)().swap(::name);                                                           \
    } while (0)

} // namespace

int zelk_main(int argc, char **argv) {
    programa = argc > 0 && argv[0] ? prg_name(argv[0]) : builtin_name;
    scan_options(argc, argv);

    int r = in_stdin(programa, &nb, nullptr, &nm, &nn, &ns, &As, &cdn, &d, &E, &ms, &ndb, &q, &sb,
                     &v, nullptr, nullptr, nullptr, 1);
    if (r != 0) fin(programa, "semantic error");
    if (nn == 0) fin(programa, "C list missing");
    if (nb == 0) fin(programa, "B list missing");
    if (nm == 0) fin(programa, "M list missing");
    if (ns == 0) fin(programa, "S list missing");
    if (v.empty()) fin(programa, "V list missing");
    fit_node_arrays();

    if (checkinputonly) {
        if (!silentmode) statistics();
        end_process(0);
    }

    std::fprintf(sio_out, "\n# %s RESULTS\n", programa);
    strict_sizing_switch();

    make_zeroed(qorig, std::size_t(2 * nn));
    for (int i = 0; i < 2 * nn; i++)
        qorig[i] = q[i];
    make_zeroed(QoSs, std::size_t(ns));

    if (resuelve() != 0) {
        warn_no_solution();
        fin(programa, "there is no solution! (function `resuelve'");
    }
    if (debug) std::fprintf(sio_out, "# function `resuelve' Ok\n");

    std::fprintf(sio_out, "# displacements: axes 1 and 2\nD");
    out_ddn(nn, d.data());
    check_solution();
    warn_strict_sizing();

    RELEASE(cdn);
    RELEASE(As);
    RELEASE(q);
    RELEASE(v);
    RELEASE(ndb);
    RELEASE(sb);
    RELEASE(E);
    RELEASE(ms);
    fin(programa, nullptr);
}

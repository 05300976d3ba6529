// zelk: the analysis state that the driver, the solver, the strict-sizing
// cycles and the bar kernel share, and the entry points of those modules.
#pragma once

#include <cstddef>

#include "structure_io.h"

// ---------------------------------------------------------------------------
// Program name and options
// ---------------------------------------------------------------------------

extern char *programa; // program name: usage, statistics, results heading, messages

extern int imprimir_B;     // -b: strain-displacement table as list X
extern int printQoS;       // -q: stress-volume lines
extern int checkinputonly; // -t: input check in place of the analysis
extern int silentmode;     // -s: no statistics with -t
extern int maxciclos;      // -c: maximum number of strict-sizing cycles (10)

extern int buckling;             // -B: accepted, read by nothing
extern float buckling_tolerance; // value of -B
extern int expansion;            // -e: accepted, read by nothing
extern float expansion_eps;      // first value of -e
extern float expansion_alfa;     // second value of -e
extern int escalay;              // -y: accepted, read by nothing
extern float factory;            // value of -y

// ---------------------------------------------------------------------------
// Structure data (filled by the library's whole-input reader)
// ---------------------------------------------------------------------------

extern int nn, nb, nm, ns; // nodes, bars, materials, section types

extern float_list cdn; // coordinates, one pair per node
extern int_list ndb;   // end nodes, two per bar, 1-based
extern int_list sb;    // section type of each bar, 1-based
extern float_list As;  // area of each section type (minus the allowable stress in strict sizing)
extern int_list ms;    // material of each section type, 1-based
extern float_list E;   // modulus of each material
extern float_list q;   // loads; after the solve the reactions at constrained entries
extern int_list v;     // constraint flags; equation codes after numeq
extern float_list d;   // prescribed displacements; every displacement after the solve

// ---------------------------------------------------------------------------
// Arrays made by the driver, results and solver state
// ---------------------------------------------------------------------------

extern float_list qorig;         // loads as read, restored before every strict-sizing cycle
extern std::vector<double> QoSs; // stress volume of each section type
extern float_list Aest;          // area of each bar under strict sizing
extern float_list epsest;        // strain of each bar from the last strict-sizing solve
extern int Destricto;            // strict sizing is on
extern int Convergencia;         // bars converged in the current cycle; nb in the final one
extern int sizing_cycles;        // strict-sizing cycles made
extern int kept_areas;           // bars that kept their area in the current cycle
extern int ni;                   // number of equations (free degrees of freedom)

extern double QoS, QoSt, QoSc, QoSh, QoSv, NoM; // stress-volume totals (bar kernel)
extern double NoMq; // coordinate-times-force total of loads and reactions

// ---------------------------------------------------------------------------
// Equation numbering and bar kernel
// ---------------------------------------------------------------------------

/// Modes of the bar kernel. ORDER: the values are part of its interface.
enum barra_mode {
    BARRA_STIFFNESS = 0,  // stiffness block from the section area; prints the bar line
    BARRA_STRAIN = 1,     // strain from the end displacements; prints the row of list E
    BARRA_RESIZE = 2,     // strict sizing: new area from the last strain, then the block
    BARRA_EXERTION = 3,   // axial force; prints the row of list N; adds to the totals
    BARRA_STRAIN_ROW = 4, // strain-displacement row of list X
};

/// Renumbers `count` constraint codes in place: free (0) ones become 0, 1, 2, ...,
/// constrained (non-zero) ones -1, -2, ...; returns the number of free ones.
int numeq(int *codes, int count);

/// Runs the bar kernel for 0-based bar `bar` in `mode` on the four values of
/// `block` (OUT for the stiffness, resize and strain-row modes, IN otherwise).
/// Returns 1 for a zero-length bar or an unknown mode, the convergence flag in
/// BARRA_RESIZE, 0 otherwise.
int barra(int mode, int bar, float block[4]);

// ---------------------------------------------------------------------------
// Assembly helpers shared by the plain solve and the strict-sizing cycles
// ---------------------------------------------------------------------------

/// Adds the loads of the free degrees of freedom into the right-hand side `a`.
void add_loads(float *a);

/// Fills `u` (OUT) with the end displacements of bar `bar`: the solution `a`
/// at free degrees of freedom, the prescribed value in d at constrained ones.
void end_displacements(int bar, const float *a, float u[4]);

/// Turns the loads q at constrained degrees of freedom into reactions (the
/// constrained row of KRg times the solution `a`, minus the load), printing each
/// row when `print` and adding coordinate times reaction to *sum when not null;
/// copies the solution into d at the free degrees of freedom.
void reactions(const float *a, Kmatrix KRg, bool print, double *sum);

// ---------------------------------------------------------------------------
// Solver, strict sizing, driver
// ---------------------------------------------------------------------------

/// Numbers the degrees of freedom, assembles and solves the stiffness system and
/// prints its results; under strict sizing then runs the cycles. Returns 0 when
/// solved, 1 for a zero-length bar or an exactly zero pivot.
int resuelve();

/// Runs the strict-sizing cycles after the unit-area solve. Returns 0 when a
/// cycle converged or the cycle limit was reached, 1 for an exactly zero pivot.
int resuelve_dimest();

/// Warns on standard error, after the results, when strict sizing did not
/// size: the cycle limit came before convergence, or the final cycle kept
/// every bar's area. Writes nothing without strict sizing or without a cycle.
void warn_strict_sizing();

/// Formats a warning (printf's `format` with its values) into `text` of
/// `size` bytes, cut to fit; returns `text`.
[[gnu::format(printf, 3, 4)]] const char *warning_text(char *text, std::size_t size,
                                                       const char *format, ...);

/// The whole of the zelk program: options, input, checks, analysis, output.
/// Ends through the library's process end (sio_exit); returns only if that does.
int zelk_main(int argc, char **argv);

/// Returns every analysis global (options, counts, arrays, totals) to its
/// initial state, so that zelk_main can run again in the same process.
void zelk_reset();

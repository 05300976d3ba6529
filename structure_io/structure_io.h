// structure_io: reading, checking and writing the list text of plane trusses.
//
// The one public header of the library. Both programs (zelk, zelkad) include
// only this file. The readers work on the streams bound by sio_bind (standard
// input, output and error unless a test binds others).
#pragma once

#include <cstdio>
#include <vector>

// ---------------------------------------------------------------------------
// Shared types
// ---------------------------------------------------------------------------

/// Result of a number read: a number was stored, the input ended, or the next
/// token is not a number (it then stays unread).
enum read_status { READ_OK = 0, READ_EOF = -1, READ_NOT_NUMBER = 1 };

using int_list = std::vector<int>;     // bar ends, section types, material numbers, flags
using float_list = std::vector<float>; // node pairs, areas, moduli, strains, exertions

/// A dense table of single-precision values: one row pointer per row, each row
/// its own zero-filled block. The table keeps no counts; callers pass them.
using Kmatrix = float **;

/// Debug flag: defined by each program, read by the library for its traces.
extern int debug;

// ---------------------------------------------------------------------------
// Streams
// ---------------------------------------------------------------------------

extern FILE *sio_in;  // structure text is read from here (stdin)
extern FILE *sio_out; // echo, macro lines and list writers (stdout)
extern FILE *sio_err; // messages, warnings and traces (stderr)

/// Binds the library's streams; a null argument keeps the current stream.
void sio_bind(FILE *in, FILE *out, FILE *err);

/// Process end used by fin: std::exit unless a test or fuzzer installs its own
/// (which must not return normally: it may throw or longjmp).
extern void (*sio_exit)(int status);

/// Returns the library's run state (buffers, program name, counters and
/// prefixes) to that of a new process. For tests and fuzzers only.
void sio_reset();

// ---------------------------------------------------------------------------
// Program name and diagnostics
// ---------------------------------------------------------------------------

extern char bufferg[400];  // deferred messages, text capped at 389 characters
extern char bufferp[80];   // one formatted message before it joins bufferg
extern const char *prgcpy; // program name given to in_stdin; null before the read

/// Reduces an invocation word to the program name, in place: drops up to the
/// first colon, then up to the last backslash and the last slash, and cuts at
/// the first dot. Returns a pointer into `word`; a null word gives null.
char *prg_name(char *word);

/// Ends the process: status 0 and no output for a null message, else writes
/// "\n%s: %s\n" (name, message) on the error stream and ends with status 1.
[[noreturn]] void fin(const char *prg, const char *msg);

/// Writes "\n%s: warning: %s\n" on the error stream; nothing for a null message.
void aviso(const char *prg, const char *msg);

/// Appends `msg` to bufferg, keeping its text within 389 characters.
void addmsg(const char *msg);

/// Queues the deferred warning line "warning: %.*s\n" (70 characters at most).
void avisozelk(const char *msg);

// ---------------------------------------------------------------------------
// Lexical layer
// ---------------------------------------------------------------------------

/// Skips blanks and comments (echoing them when `echo`); pushes the next
/// significant character back, "N" and "n" as "H". Returns READ_OK or READ_EOF.
int in_rem(int echo);

/// Reads one integer with "%d" into *x (OUT, written only on READ_OK).
int in_int(int *x, int echo);

/// Reads one single-precision number with "%g" into *x (OUT, written only on READ_OK).
int in_float(float *x, int echo);

// ---------------------------------------------------------------------------
// Growing list readers: each reads records until the first field of a record
// is not a number; a null count or array pointer means "not wanted". Return
// READ_OK when the list ended normally, else the status of the failed read.
// ---------------------------------------------------------------------------

/// B list: end nodes into *ndb (two per bar), section types into *sb; *n bars (OUT).
int in_B(int *n, int_list *ndb, int_list *sb, int echo);

/// C and D lists: pairs of values into *pairs; *n entries (OUT).
int in_ddn(int *n, float_list *pairs, int echo);

/// E and exertion lists: one value per entry into *values; *n entries (OUT).
int in_ddb(int *n, float_list *values, int echo);

/// M list: one modulus per material into *E; *n materials (OUT).
int in_tr(int *n, float_list *E, int echo);

/// S list: material number and area per section type into *ms and *As; *n types (OUT).
int in_S(int *n, float_list *As, int_list *ms, int echo);

// ---------------------------------------------------------------------------
// Node-indexed readers and matrix list: 0 when the list ended normally, the
// code of a failed second or third field, 1 for a record out of range.
// ---------------------------------------------------------------------------

/// Q and R lists: node, direction, value, added into *q (2 values per node).
int in_qdn(int nn, float_list *q, int echo);

/// P list: node, modulus, angle in degrees, components added into *q.
int in_pdn(int nn, float_list *q, int echo);

/// V list: node, direction, value; flag 1 in *v, prescribed value in *d.
int in_V(int nn, int_list *v, float_list *d, int echo);

/// X list: rows of 2*nn values, at most nb rows, into *B. A null *B is created
/// here (nb x 2*nn); a later, larger list stores only what fits it. A table the
/// caller made itself must hold at least nb rows of 2*nn values.
/// Returns 0 when the list ended normally, 1 for a row cut short.
int in_matrizB(int nn, int nb, Kmatrix *B, int echo);

// ---------------------------------------------------------------------------
// Whole-input reader and cross-reference check
// ---------------------------------------------------------------------------

extern int tQ; // a P or Q list has been read (or the missing-load rule ran)

/// Reads the whole structure text, list by list, echoing it when `echo`, and
/// checks it. Counts and arrays are OUT parameters; null means "not wanted"
/// (the list is still read and dropped), except `nb` and `nn`, which must be
/// given. Returns 0 after a complete read, READ_EOF when the input held only
/// blanks and comments; every fault of the input ends the process.
int in_stdin(const char *prg, int *nb, int *nd, int *nm, int *nn, int *ns, float_list *As,
             float_list *cdn, float_list *d, float_list *E, int_list *ms, int_list *ndb,
             float_list *q, int_list *sb, int_list *v, float_list *strains,
             float_list *exertions, Kmatrix *B, int echo);

/// Checks bar ends, section types and materials against their counts; ends the
/// run with every fault (and any deferred warning) at once, else returns.
void check_stdin(const char *prg, int *nb, int *nd, int *nm, int *nn, int *ns, float_list *As,
                 float_list *cdn, float_list *d, float_list *E, int_list *ms, int_list *ndb,
                 float_list *q, int_list *sb, int_list *v, float_list *strains,
                 float_list *exertions);

// ---------------------------------------------------------------------------
// Macro-definition output (program name "dudo2va")
// ---------------------------------------------------------------------------

extern const char *prefijoobj;     // prefix of node and bar names
extern const char *prefijofuerzas; // prefix of load and reaction names
extern const char *prefijomacros;  // prefix of list macro names
extern char preGCobjetos[80];      // built object prefix
extern char preGCfuerzas[80];      // built force prefix
extern int ctr_actions;            // load definitions written (P and Q share it)
extern int ctr_reactions;          // reaction definitions written
extern int *ctr_load;              // counter of the list being read
extern char datatype;              // 'C' while a C list is read, else 0

/// Writes a comment line in the style of the program: "# %s\n" under zelk,
/// "%% %s\n" under dudo2va; under any other name ends the run.
void out_rem(const char *text);

// ---------------------------------------------------------------------------
// Matrices and list writers
// ---------------------------------------------------------------------------

/// Allocates a zero-filled rows x cols table; null when memory is exhausted.
Kmatrix Kalloc(int rows, int cols);

/// Releases every row of a table from Kalloc, then its row array.
void Kfree(int rows, Kmatrix K);

/// Writes nn lines "\t%g\t%g\t# node %d\n" of a node-pair list.
void out_ddn(int nn, const float *d);

/// Writes each row as a tab, "%g  " per element, and a newline.
void out_matrix(int rows, int cols, Kmatrix K);

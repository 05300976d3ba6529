// Gauss elimination without row exchanges, and back substitution, of the
// stiffness system of the analysis: over the system's envelope, held in a
// table of its own, or over a full table.
#pragma once

#include <cstddef>
#include <vector>

#include "page_block.h"
#include "structure_io.h"

/// Prints the pivot line of equation k (1-based) with pivot p, before the pivot is tested.
using pivot_printer = void (*)(int k, float p, void *ctx);

/// Results of the solves.
enum solve_status {
    SOLVE_OK = 0,         // solved: `a` holds the solution
    SOLVE_ZERO_PIVOT = 1, // a pivot was exactly zero; the pivots up to it were printed
    SOLVE_NEEDS_FULL = 2, // the envelope cannot give the plain loops' values: nothing
                          // printed, `a` untouched; solve the full table instead
};

/// Work arrays of one elimination, sized for its panels; private to it.
struct elimination_work {
    std::vector<float> piv; // pivots, in order
    std::vector<float> Ap;  // packed L factors
    std::vector<float> Bp;  // packed U factors
    std::vector<float> Pp;  // packed U blocks of a panel, for the rows below it
    std::vector<float> Gp;  // factors and pivots within a panel's row groups
};

/// The stiffness table of one solve, held over its envelope only. Row r stores
/// columns Lo(r) .. R(r): from the first step whose factor in row r can be
/// non-zero to the last column that any row up to r couples to. Outside those
/// columns the elimination without row exchanges leaves exact zeros, so no
/// value there is ever stored, read or written. The storage is zero-filled,
/// every page of it resident once it is allocated.
class envelope_table {
  public:
    /// Plans the envelope of n equations whose row r holds non-zero values in
    /// columns lo[r] .. hi[r] only (0 <= lo[r] <= r <= hi[r] < n) and allocates
    /// it, with the work arrays of its elimination. Returns false, holding
    /// nothing, when the memory cannot be had.
    bool alloc(int n, const std::vector<int> &lo, const std::vector<int> &hi);
    /// Releases the storage.
    void release();

    /// Number of values stored: the envelope.
    std::size_t stored() const { return stored_; }
    int first(int r) const { return Lo_[r]; }
    int last(int r) const { return R_[r]; }
    /// The rows (rows()[r]: entry (r, first(r))), their first and last columns.
    const float *const *rows() const { return row_.data(); }
    const int *firsts() const { return Lo_.data(); }
    const int *lasts() const { return R_.data(); }
    /// Entry (r, c), 0-based, with first(r) <= c <= last(r).
    float &at(int r, int c) {
#ifdef ZELK_BOUNDS_CHECK
        if (r < 0 || r >= n_ || c < Lo_[r] || c > R_[r]) __builtin_trap();
#endif
        return row_[r][c - Lo_[r]];
    }

  private:
    friend int gauss_solve(envelope_table &, float *, pivot_printer, void *);
    int n_ = 0;
    std::vector<int> R_;       // R(k): last column that row k may hold non-zero at step k
    std::vector<int> C_;       // C(k): last row that column k may hold non-zero at step k
    std::vector<int> Lo_;      // Lo(r): first step whose factor in row r may be non-zero
    page_block data_;          // the rows, each a little apart for alignment
    std::size_t stored_ = 0;   // values within the rows
    std::vector<float *> row_; // row_[r]: entry (r, Lo(r))
    int b_ = 0;                // panel width
    elimination_work work_;    // had with the table, so that the solve asks for no memory
};

/// Solves K a = rhs over the envelope: on entry `a` holds the right-hand side,
/// after SOLVE_OK the solution, with the bits the plain loops give (row k
/// divided by its pivot, rows below reduced column by column, the last row not
/// divided, then the back substitution). For k = 1 .. n calls print(k, p, ctx)
/// (print may be null) once the pivot is known, and stops after an exactly
/// zero one. When the input or a factor holds -0, an infinity or a NaN, the
/// zeros outside the envelope would take part, and the result is
/// SOLVE_NEEDS_FULL: nothing printed, `a` untouched, K no longer the input.
/// K is left as working space. n = 0 does nothing.
int gauss_solve(envelope_table &K, float *a, pivot_printer print, void *ctx);

/// The same solve over a full ni x ni table from Kalloc (every entry stored):
/// SOLVE_OK or SOLVE_ZERO_PIVOT, with the plain loops' bits and pivot calls
/// whatever the table holds, the sign of every NaN included. K is left as
/// working space.
int gauss_solve_full(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx);

/// The same solve by the plain loops as written, one entry at a time: the
/// reference that the others match, and the way out when the work arrays of
/// the full table cannot be had.
int gauss_solve_plain(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx);

// How far a solve's answer may be from the exact solution of the system as
// assembled: one step of iterative refinement, used only as an estimate, and
// the pivots that lost nearly all of their diagonal.
#pragma once

#include <cstddef>
#include <vector>

#include "structure_io.h"

/// A pivot that is negative or tiny beside its equation's diagonal.
struct lost_pivot {
    int equation; // 0-based equation number
    float pivot;  // the pivot as printed
};

/// What the check of the last solve found.
struct accuracy_report {
    bool estimated = false;       // a solve was completed and estimated
    double displacement = 0;      // largest correction over the largest displacement
    double force = 0;             // largest bar force correction over the force scale
    int lost_count = 0;           // pivots lost, all of them
    std::vector<lost_pivot> lost; // the first max_lost_kept of them, in equation order
};

/// Lost pivots kept for the warnings; the rest are only counted.
constexpr int max_lost_kept = 10;

/// A pivot is lost when it is negative or at most this fraction of its
/// diagonal: about 16 units of single-precision rounding.
constexpr double lost_pivot_fraction = 1e-6;

/// The check of the solve whose results are printed: each solve replaces it.
extern accuracy_report last_accuracy;

/// The factors that an elimination without row exchanges left in its table:
/// entry (r, c) of row r is row(r)[c - first(r)] for first(r) <= c <= last(r),
/// zero outside; below the diagonal the L factors as they stood at their step,
/// above it the U rows divided by their pivots.
struct factor_rows {
    const float *const *row; // row[r]: entry (r, first[r])
    const int *first;        // null: every row starts at column 0
    const int *last;         // null: every row ends at column n-1
    int n;
};

/// Checks the solution `a` (the ni free displacements) of the system that the
/// bars' `blocks` (four values per bar, as assembled) make with the loads q
/// at free degrees of freedom and the prescribed displacements d: the
/// residual in double precision from the bars, the correction through the
/// factors `f` and `piv` (the pivots), and from it the estimates; and the
/// pivots lost beside `diag` (each equation's diagonal before elimination).
/// Stores the result in last_accuracy.
void check_accuracy(const factor_rows &f, const float *piv, const float *diag,
                    const float_list &blocks, const float *a);

/// Forgets the last check (nothing estimated).
void reset_accuracy();

// How far a solve's answer may be from the exact solution of the system as
// assembled: one step of iterative refinement, used only as an estimate, and
// the pivots that lost nearly all of their diagonal.
#pragma once

#include <cstddef>
#include <vector>

#include "structure_io.h"

/// A pivot that is negative or zero to rounding beside its diagonal.
struct lost_pivot {
    int equation; // 0-based equation number
    float pivot;  // the pivot as printed
};

/// What the check of the printed solve found, and why a solve found none.
struct accuracy_report {
    bool estimated = false;       // the printed solve was completed and estimated
    bool skipped = false;         // the printed solve was not checked: no memory for it
    bool finite = true;           // the correction is finite
    double displacement = 0;      // largest correction over the largest displacement
    double force = 0;             // largest bar force correction over the force scale
    int worst = -1;               // equation of the largest correction; -1: none
    int lost_count = 0;           // pivots lost, all of them
    std::vector<lost_pivot> lost; // the first max_lost_kept of them, in equation order
    int zero_pivot = -1;          // equation whose pivot was exactly zero; -1: none
    float zero_pivot_value = 0;   // that pivot as printed (0 or -0)
    int zero_length_bar = -1;     // 0-based bar of zero length that stopped the solve; -1: none
};

/// Lost pivots kept for the warnings; the rest are only counted.
constexpr int max_lost_kept = 10;

/// A pivot is lost when it is negative or at most this fraction of its
/// diagonal: one unit of single-precision rounding of the diagonal (2^-23).
/// Rounding leaves a mechanism's pivot anywhere from below zero up to far
/// above this, so a spoiled answer also names where its correction is
/// largest.
constexpr double lost_pivot_fraction = 0x1p-23;

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

/// The arrays of one check, had before the solve writes anything, so that
/// the check never has to ask for memory after it.
struct accuracy_work {
    std::vector<float> diag;     // each equation's diagonal before elimination
    std::vector<float> piv;      // each equation's pivot
    std::vector<double> residual; // the residual, then the correction
    /// Sizes the arrays for n equations; false, holding nothing, when the
    /// memory cannot be had.
    bool take(int n);
};

/// Checks the solution `a` (the ni free displacements) of the system that the
/// bars' `blocks` (four values per bar, as assembled) make with the loads q
/// at free degrees of freedom and the prescribed displacements d: the
/// residual in double precision from the bars, the correction through the
/// factors `f` and the pivots in `w`, and from it the estimates; and the
/// pivots lost beside their diagonals in `w`. Stores the result in
/// last_accuracy.
void check_accuracy(const factor_rows &f, accuracy_work &w, const float_list &blocks,
                    const float *a);

/// Forgets the last check (nothing estimated, nothing stopped the solve).
void reset_accuracy();

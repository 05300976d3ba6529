// Gauss elimination without row exchanges, and back substitution, of the
// dense stiffness system of the analysis.
#pragma once

#include "structure_io.h"

/// Prints the pivot line of equation k (1-based) with pivot p, before the pivot is tested.
using pivot_printer = void (*)(int k, float p, void *ctx);

/// Solves K a = rhs in place for `ni` equations: on entry `a` holds the right-hand
/// side, on a 0 return the solution. For k = 1 .. ni, calls `print(k, p, ctx)`
/// with the pivot as it becomes known (print may be null), then returns 1 at once
/// when the pivot is exactly zero. Every stored value is the one the literal
/// loops give: row k divided by its pivot, rows below reduced column by column,
/// the last row not divided, then the back substitution; on a 0 return every
/// entry of K and a holds those bits. On a 1 return the pivots up to the zero
/// one have been printed and K and a are left part-way. ni = 0 does nothing.
int gauss_solve(Kmatrix K, float *a, int ni, pivot_printer print, void *ctx);

// Work arrays of one solve and the steps that the plain solve and the
// strict-sizing cycles share: the stiffness K over its envelope, the tables
// KRg and B, the right-hand side a, assembly and the solution of the system.
#pragma once

#include <cstddef>
#include <new>
#include <vector>

#include "analysis.h"
#include "elimination.h"
#include "page_block.h"

/// A Kmatrix owned for one solve: released by Kfree with its row count when
/// reset or destroyed (also when a fatal end unwinds through the solve). The
/// solve reads every entry of its tables, so their memory is had at once.
class owned_matrix {
  public:
    owned_matrix() = default;
    owned_matrix(const owned_matrix &) = delete;
    owned_matrix &operator=(const owned_matrix &) = delete;
    ~owned_matrix() { reset(); }

    /// Allocates a zero-filled rows x cols table with every page resident;
    /// ends the run with "out of memory" when it cannot be had.
    void alloc(int rows, int cols) {
        reset();
        const std::size_t bytes = sizeof(float) * std::size_t(rows) * std::size_t(cols);
        if (rows > 0 && cols > 0 && !can_back(bytes)) fin(programa, "out of memory");
        K_ = Kalloc(rows, cols);
        if (!K_) fin(programa, "out of memory");
        rows_ = rows;
        for (int i = 0; i < rows; i++)
            if (!make_resident(K_[i], sizeof(float) * std::size_t(cols)))
                fin(programa, "out of memory");
    }
    /// Releases the table, if any.
    void reset() {
        if (K_) Kfree(rows_, K_);
        K_ = nullptr;
        rows_ = 0;
    }
    Kmatrix get() const { return K_; }

  private:
    Kmatrix K_ = nullptr;
    int rows_ = 0;
};

/// Sizes `x` to n zero values; ends the run with "out of memory" when the
/// storage cannot be had.
template <class T> void make_zeroed(std::vector<T> &x, std::size_t n) {
    try {
        x.assign(n, T(0));
    } catch (const std::bad_alloc &) {
        fin(programa, "out of memory");
    }
}

/// Calls term(row, col, w) for the sixteen terms of bar `bar`'s block, in the
/// order of assembly: row end, row axis, column end, column axis; row and col
/// are degrees of freedom, w the block's value with the sign of the ends. The
/// assembly and the check of the solution walk the terms through it alike.
template <class F> void for_each_term(int bar, const float block[4], F &&term) {
    const int node[2] = {ndb[2 * bar], ndb[2 * bar + 1]};
    for (int e = 0; e < 2; e++)
        for (int j = 0; j < 2; j++) {
            const int row = 2 * (node[e] - 1) + j;
            for (int f = 0; f < 2; f++)
                for (int n = 0; n < 2; n++) {
                    const int col = 2 * (node[f] - 1) + n;
                    term(row, col, e == f ? block[2 * j + n] : -block[2 * j + n]);
                }
        }
}

/// Allocates K (OUT) over the envelope of the equations that the bars couple,
/// by the equation codes in v; ends the run with "out of memory" when it
/// cannot be had. The envelope depends only on the bars and the codes.
void alloc_stiffness(envelope_table &K);

/// Adds the stiffness block of bar `bar` into K, KRg, the right-hand side `a`
/// and (for prescribed degrees of freedom) the loads q, by the equation codes in v.
void assemble_bar(int bar, const float block[4], envelope_table &K, Kmatrix KRg, float *a);

/// Solves the assembled system K a = rhs (`blocks`: the four values of every
/// bar's block, as assembled): over the envelope when that gives the plain
/// loops' values, else over a full table assembled again from the blocks,
/// whose want of memory ends the run with "out of memory". Prints every pivot
/// through `print`; returns SOLVE_OK or SOLVE_ZERO_PIVOT. When `check` (the
/// solve whose results are printed), checks the solution into last_accuracy,
/// or marks it skipped where the check's memory cannot be had; an exactly
/// zero pivot is recorded there in any case. K is released when the full
/// table is needed, else left as working space.
int solve_stiffness(envelope_table &K, const float_list &blocks, float *a, bool check,
                    pivot_printer print, void *ctx);

// Work arrays of one solve: the stiffness tables K and KRg and the right-hand
// side a, allocated zero-filled and released when the solve is done with them.
#pragma once

#include <new>
#include <vector>

#include "analysis.h"

/// A Kmatrix owned for one solve: released by Kfree with its row count when
/// reset or destroyed (also when a fatal end unwinds through the solve).
class owned_matrix {
  public:
    owned_matrix() = default;
    owned_matrix(const owned_matrix &) = delete;
    owned_matrix &operator=(const owned_matrix &) = delete;
    ~owned_matrix() { reset(); }

    /// Allocates a zero-filled rows x cols table; ends the run with
    /// "out of memory" when it cannot be had.
    void alloc(int rows, int cols) {
        reset();
        K_ = Kalloc(rows, cols);
        if (!K_) fin(programa, "out of memory");
        rows_ = rows;
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

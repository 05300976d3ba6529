// Zero-filled blocks of single-precision values on pages of their own, every
// page made resident when the block is had, so that memory that cannot be
// backed shows at allocation and not part-way through a solve.
#pragma once

#include <cstddef>

/// Says whether `bytes` more bytes can be had without the kernel swapping or
/// killing a process for them: at most the memory it reports available (true
/// when it reports nothing, and for requests under 16 MiB).
bool can_back(std::size_t bytes);

/// Makes the pages of the `bytes` bytes at p resident, writable, with their
/// contents kept. Returns false when they cannot be backed.
bool make_resident(void *p, std::size_t bytes);

/// A block of zero-filled floats on an anonymous mapping; released on reset
/// and destruction.
class page_block {
  public:
    page_block() = default;
    page_block(const page_block &) = delete;
    page_block &operator=(const page_block &) = delete;
    ~page_block() { release(); }

    /// Maps n zero-filled values and makes every page resident. Returns
    /// false, holding nothing, when the memory cannot be had or backed. n = 0 holds no
    /// mapping and succeeds.
    bool alloc(std::size_t n);
    /// Releases the mapping, if any.
    void release();

    float *data() const { return data_; }
    std::size_t size() const { return n_; }
    /// Bytes mapped: the values rounded up to whole pages.
    std::size_t mapped() const { return bytes_; }

  private:
    float *data_ = nullptr;
    std::size_t n_ = 0;
    std::size_t bytes_ = 0;
};

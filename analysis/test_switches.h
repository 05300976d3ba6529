// Hooks for tests, in one place: switches that steer a solve onto one of its
// paths, so that a test can compare the paths on one input, and counters of
// what the solves held. zelk itself never sets the switches and runs with the
// values given here; zelk_reset restores them and clears the counters.
#pragma once

#include <cstddef>
#include <vector>

/// Sets of elimination kernels, alike in every value they give.
enum kernel_set {
    KERNELS_AUTO = 0,     // the fastest set that this processor runs
    KERNELS_PORTABLE = 1, // any processor
    KERNELS_AVX2 = 2,     // x86 processors with AVX2, in x86 builds only
};

struct test_switches {
    kernel_set kernels = KERNELS_AUTO; // the elimination's kernels: a set that runs here
    bool full_only = false;            // solve every stiffness system over the full table
    bool plain_only = false;           // solve it there by the plain loops
    bool no_check_memory = false;      // the check of the solution cannot have its memory
};
extern test_switches test_switch;

/// What the solves of this process held, for tests: the values stored by the
/// last stiffness envelope, and how many full tables were assembled.
struct stiffness_counts {
    std::size_t envelope_values = 0; // values held by the last envelope
    int full_tables = 0;             // full tables assembled
};
extern stiffness_counts stiffness_use;

/// Returns the kernel sets that this build holds, KERNELS_PORTABLE first.
std::vector<kernel_set> built_kernel_sets();

/// Says whether this processor runs kernel set k.
bool runs_here(kernel_set k);

// A test suite run once for each kernel set of the elimination that the build
// holds, the switches restored after each test.
#pragma once

#include <gtest/gtest.h>
#include <string>

#include "test_switches.h"

/// Base of a suite parameterised by kernel set: takes the parameter's set,
/// or skips where this processor cannot run it.
class KernelSetTest : public ::testing::TestWithParam<kernel_set> {
  protected:
    void SetUp() override {
        if (!runs_here(GetParam())) GTEST_SKIP() << "this processor does not run these kernels";
        test_switch.kernels = GetParam();
    }
    void TearDown() override { test_switch = test_switches{}; }
};

/// Instantiates SUITE once per kernel set of the build, named by the set.
#define INSTANTIATE_FOR_KERNEL_SETS(SUITE)                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Kernels, SUITE, ::testing::ValuesIn(built_kernel_sets()), [](const auto &info) {           \
            return std::string(info.param == KERNELS_AVX2 ? "avx2" : "portable");                  \
        })

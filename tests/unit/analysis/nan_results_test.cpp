// Runs whose results are not numbers. Which sign printf shows for a NaN
// ("nan" or "-nan") is promised only within one build: every path of the solve
// gives the plain loops' bytes. Between compilers and processors it may
// differ (the compiler takes the operands of a sum or a product in either
// order, and the processor picks the sign of a NaN that an invalid operation
// makes), so the output is compared with the plain loops' as it is, and with
// the expected text with every "-nan" (and " nan" of a "% .2e" field) read as
// "nan"; infinities keep their sign. Each test runs with every set of
// elimination kernels that the build holds.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "analysis.h"
#include "sio_capture.h"
#include "kernel_sets.h"
#include "test_switches.h"
#include "zelk_run.h"

namespace {

// Runs its tests with each kernel set of the build.
class NanResults : public KernelSetTest {};
INSTANTIATE_FOR_KERNEL_SETS(NanResults);

// A zelk run, checked byte for byte against the run by the plain loops, then
// returned with every "-nan" read as "nan".
SioRun run_zelk_nan(const std::string &input, std::vector<std::string> words) {
    SioRun run = run_zelk(input, words);
    test_switch.plain_only = true;
    const SioRun plain = run_zelk(input, std::move(words));
    test_switch.plain_only = false;
    EXPECT_EQ(run.out, plain.out);
    EXPECT_EQ(run.err, plain.err);
    EXPECT_EQ(run.status, plain.status);
    for (std::size_t at; (at = run.out.find("-nan")) != std::string::npos;)
        run.out.erase(at, 1);
    for (std::size_t at; (at = run.out.find("\t nan")) != std::string::npos;)
        run.out.erase(at + 1, 1);
    return run;
}

// The results after the echo of the input.
std::string results(const SioRun &run) {
    std::size_t at = run.out.find("\n# zelk RESULTS\n");
    return at == std::string::npos ? run.out : run.out.substr(at);
}

TEST_P(NanResults, NanPivotsDoNotStopTheSolveAndNoConstraintLeavesRBare) {
    // No constraint at all (an empty V list) and a modulus that is not a number.
    SioRun run = run_zelk_nan("C 0 0 4 0\nB 1 2 1\nS 1 1\nM -nan\nV\nQ 2 1 5\n", {"zelk"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(results(run), "\n# zelk RESULTS\n"
                            "\n# 4 equations\n"
                            "# bar 1: Lx= 4; Ly= 0; EA= nan.\n"
                            "# equation 1 pivot: nan\n"
                            "# equation 2 pivot: nan\n"
                            "# equation 3 pivot: nan\n"
                            "# equation 4 pivot: nan\n"
                            "# Bar strains\nE\n"
                            "nan # bar 1 cross-section 1\n"
                            "# Bar exertions\nN\n"
                            "nan # bar 1 with cross-section 1 (def:nan, E:nan)\n"
                            "# Reactions: node axis signed-value\n"
                            "R# displacements: axes 1 and 2\n"
                            "D\tnan\tnan\t# node 1\n"
                            "\tnan\tnan\t# node 2\n");
}

// The triangle: span 8, rise 3, 10 down at the apex, modulus 1000.
std::string triangle(const char *section) {
    return std::string("C 0 0  8 0  4 3\nB 1 2 1  1 3 1  2 3 1\nS 1 ") + section +
           "\nM 1000\nV 1 1 0  1 2 0  2 2 0\nQ 3 2 -10\n";
}

TEST_P(NanResults, ZeroSectionValueGivesInfiniteAreasThatCountAsConverged) {
    // Allowable stress -0: every new area is -inf, which lies below 2^-23, so
    // cycle 1 is final and prints its (undefined) results.
    SioRun run = run_zelk_nan(triangle("0"), {"zelk"});
    EXPECT_EQ(run.status, 0);
    std::string r = results(run);
    const std::string final_cycle = "# Strict selection of cross-sections: cicle 1\n"
                                    "#  equation 1 pivot: -inf\n"
                                    "#  equation 2 pivot: nan\n"
                                    "#  equation 3 pivot: nan\n"
                                    "# Bar strains\nE\n"
                                    "nan # bar 1 cross-section -inf\n"
                                    "nan # bar 2 cross-section -inf\n"
                                    "nan # bar 3 cross-section -inf\n"
                                    "# Bar exertions\nN\n"
                                    "nan # bar 1 with cross-section -inf (def:nan, E:1000)\n"
                                    "nan # bar 2 with cross-section -inf (def:nan, E:1000)\n"
                                    "nan # bar 3 with cross-section -inf (def:nan, E:1000)\n"
                                    "# Reactions: node axis signed-value\n"
                                    "R\t1\t1\tnan\n\t1\t2\tnan\n\t2\t2\tnan\n"
                                    "# displacements: axes 1 and 2\n"
                                    "D\t0\t0\t# node 1\n\tnan\t0\t# node 2\n\tnan\tnan\t# node 3\n";
    EXPECT_NE(r.find("\n# Warning: strict sizing of cross-sections\n"), std::string::npos);
    ASSERT_GE(r.size(), final_cycle.size());
    EXPECT_EQ(r.substr(r.size() - final_cycle.size()), final_cycle);
}

TEST_P(NanResults, NegativeZeroSectionValueSizesStrictlyAndNeverConverges) {
    // -0 counts as 0 for the switch; the allowable stress +0 gives +inf areas.
    SioRun run = run_zelk_nan(triangle("-0"), {"zelk", "-c", "2"});
    EXPECT_EQ(run.status, 0);
    // The last cycle's results are not numbers: the check of equilibrium warns,
    // and so does the cycle limit.
    EXPECT_EQ(run.err, "\n# Warning: strict sizing of cross-sections\n"
                       "\nzelk: warning: the solution holds infinite or undefined values: it is "
                       "spoiled\n"
                       "\nzelk: warning: strict sizing did not converge within -c 2: no forces; "
                       "raise -c\n");
    const std::string tail = "# Strict selection of cross-sections: cicle 1\n"
                             "# Strict selection of cross-sections: cicle 2\n"
                             "# displacements: axes 1 and 2\n"
                             "D\t0\t0\t# node 1\n\tnan\t0\t# node 2\n\tnan\tnan\t# node 3\n";
    ASSERT_GE(run.out.size(), tail.size());
    EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail);
}

} // namespace

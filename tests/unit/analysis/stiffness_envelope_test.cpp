// The stiffness of a solve is held over the envelope that the bars give it:
// its size follows the numbering of the truss, not the square of the number
// of equations; the solve over it prints the same bytes as the solve over the
// full table; the full table is assembled only when the zeros outside the
// envelope take part (infinities, NaNs), and its want of memory ends the run
// with "out of memory" before any pivot is written. Each test that solves
// runs with every set of elimination kernels that the build holds.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "accuracy.h"
#include "analysis.h"
#include "sio_capture.h"
#include "zelk_run.h"
#include "solve_work.h"
#include "kernel_sets.h"
#include "test_switches.h"

namespace {

// A grid truss of rows x cols nodes, braced in both diagonals, nodes numbered
// row by row or in a shuffled order; the bottom row is held, node 1 of the
// top row moved by a prescribed displacement, the top row loaded.
struct Grid {
    int rows = 4, cols = 10;
    bool shuffled = false;
    const char *modulus = "1000";
    const char *area = "2"; // "-100": strict sizing
};

std::string grid_text(const Grid &g) {
    const int nn = g.rows * g.cols;
    std::vector<int> number(nn);
    std::iota(number.begin(), number.end(), 1);
    if (g.shuffled) std::shuffle(number.begin(), number.end(), std::mt19937(5));
    std::vector<int> at(nn); // at[number - 1]: grid position
    for (int p = 0; p < nn; p++)
        at[number[p] - 1] = p;
    auto id = [&](int r, int c) { return number[r * g.cols + c]; };
    std::string t = "C\n";
    char line[96];
    for (int k = 0; k < nn; k++) {
        std::snprintf(line, sizeof line, " %d %d\n", at[k] % g.cols, at[k] / g.cols);
        t += line;
    }
    t += "B\n";
    auto bar = [&](int i, int j) {
        std::snprintf(line, sizeof line, " %d %d 1\n", i, j);
        t += line;
    };
    for (int r = 0; r < g.rows; r++)
        for (int c = 0; c < g.cols; c++) {
            if (c + 1 < g.cols) bar(id(r, c), id(r, c + 1));
            if (r + 1 < g.rows) bar(id(r, c), id(r + 1, c));
            if (r + 1 < g.rows && c + 1 < g.cols) bar(id(r, c), id(r + 1, c + 1));
            if (r + 1 < g.rows && c > 0) bar(id(r, c), id(r + 1, c - 1));
        }
    t += std::string("S 1 ") + g.area + "\nM " + g.modulus + "\nV\n";
    for (int c = 0; c < g.cols; c++) {
        std::snprintf(line, sizeof line, " %d 1 0\n %d 2 0\n", id(0, c), id(0, c));
        t += line;
    }
    std::snprintf(line, sizeof line, " %d 1 0.001\nQ\n", id(g.rows - 1, 0));
    t += line;
    for (int c = 0; c < g.cols; c++) {
        std::snprintf(line, sizeof line, " %d 2 -1\n %d 1 0.5\n", id(g.rows - 1, c),
                      id(g.rows - 1, c));
        t += line;
    }
    return t;
}

struct Solved {
    SioRun run;
    stiffness_counts use;
};

// Runs its tests with each kernel set of the build.
class StiffnessEnvelope : public KernelSetTest {};
INSTANTIATE_FOR_KERNEL_SETS(StiffnessEnvelope);

Solved solve(const std::string &input, std::vector<std::string> words, bool full_only) {
    stiffness_use = stiffness_counts{};
    test_switch.full_only = full_only;
    Solved s{run_zelk(input, std::move(words)), stiffness_use};
    test_switch.full_only = false;
    return s;
}

TEST_P(StiffnessEnvelope, FollowsTheNumberingAndGivesTheFullTablesBytes) {
    struct Case {
        const char *name;
        Grid grid;
        std::vector<std::string> words;
        bool banded; // numbered so that each row's reach is a band
    };
    const Case cases[] = {
        {"grid numbered row by row", {6, 30}, {"zelk"}, true},
        {"tall grid numbered across its width", {30, 6}, {"zelk", "-q"}, true},
        {"shuffled numbering", {6, 30, true}, {"zelk"}, false},
        {"strict sizing, row by row", {6, 30, false, "1000", "-100"}, {"zelk", "-c", "4"}, true},
        {"strict sizing, shuffled, debug",
         {5, 12, true, "1000", "-100"},
         {"zelk", "-d", "-c", "3"},
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = grid_text(c.grid);
        Solved env = solve(input, c.words, false);
        Solved full = solve(input, c.words, true);
        ASSERT_EQ(env.run.status, 0) << env.run.err;
        EXPECT_EQ(env.run.out, full.run.out);
        EXPECT_EQ(env.run.err, full.run.err);
        EXPECT_EQ(env.use.full_tables, 0);
        EXPECT_GE(full.use.full_tables, 1);
        // Two free degrees of freedom per node above the held row.
        const std::size_t eqs = std::size_t(2) * (c.grid.rows - 1) * c.grid.cols - 1;
        ASSERT_NE(env.run.out.find("# " + std::to_string(eqs) + " equations\n"), std::string::npos);
        // Numbered row by row, a node is joined to nodes at most cols + 1
        // numbers away: its equations reach at most 2 (cols + 1) + 1 equations
        // on either side.
        const std::size_t band = 2 * (std::size_t(c.grid.cols) + 1) + 1;
        if (c.banded) {
            EXPECT_LE(env.use.envelope_values, eqs * (2 * band + 1));
        }
        EXPECT_LE(env.use.envelope_values, eqs * eqs);
    }
}

TEST_P(StiffnessEnvelope, InfiniteStiffnessIsSolvedOverTheFullTable) {
    Grid g{4, 8, false, "inf"};
    Solved s = solve(grid_text(g), {"zelk"}, false);
    EXPECT_EQ(s.run.status, 0) << s.run.err;
    EXPECT_EQ(s.use.full_tables, 1);
    EXPECT_EQ(s.run.out, solve(grid_text(g), {"zelk"}, true).run.out);
}

// Solves run over the envelope (falling back on the full table) and by the
// plain loops, for the same input and words.
struct Both {
    Solved fast, plain;
};

Both solve_both(const std::string &input, std::vector<std::string> words) {
    Both b;
    b.fast = solve(input, words, false);
    test_switch.plain_only = true;
    b.plain.run = run_zelk(input, std::move(words));
    test_switch.plain_only = false;
    return b;
}

// A braced grid of rows x cols nodes, the bottom row held, the top row loaded,
// in which one value of each list may be replaced: the coordinates of the
// top row's first node, the area,
// the modulus, node 1's prescribed displacement along x, one Q load, and the
// magnitude and angle of a P load.
struct Values {
    int rows = 3, cols = 3;
    std::string x = "0", y = "", area = "2", modulus = "1000", settlement = "0", load = "-1",
                magnitude = "1", angle = "30";
};

std::string values_text(const Values &g) {
    auto id = [&](int r, int c) { return std::to_string(r * g.cols + c + 1); };
    std::string t = "C\n";
    for (int r = 0; r < g.rows; r++)
        for (int c = 0; c < g.cols; c++)
            if (r == g.rows - 1 && c == 0)
                t += g.x + " " + (g.y.empty() ? std::to_string(r) : g.y) + "\n";
            else
                t += std::to_string(c) + " " + std::to_string(r) + "\n";
    t += "B\n";
    for (int r = 0; r < g.rows; r++)
        for (int c = 0; c < g.cols; c++) {
            if (c + 1 < g.cols) t += id(r, c) + " " + id(r, c + 1) + " 1\n";
            if (r + 1 < g.rows) t += id(r, c) + " " + id(r + 1, c) + " 1\n";
            if (r + 1 < g.rows && c + 1 < g.cols) t += id(r, c) + " " + id(r + 1, c + 1) + " 1\n";
            if (r + 1 < g.rows && c > 0) t += id(r, c) + " " + id(r + 1, c - 1) + " 1\n";
        }
    t += "S 1 " + g.area + "\nM " + g.modulus + "\nV\n";
    for (int c = 0; c < g.cols; c++)
        t += id(0, c) + " 1 " + (c == 0 ? g.settlement : "0") + "\n" + id(0, c) + " 2 0\n";
    t += "Q\n";
    for (int c = 0; c < g.cols; c++) t += id(g.rows - 1, c) + " 2 " + (c == 1 ? g.load : "-1") + "\n";
    return t + "P " + id(g.rows - 1, 0) + " " + g.magnitude + " " + g.angle + "\n";
}

// Infinities and NaNs in any list, which send the solve to the full table or
// meet there: every byte as the plain loops of this build give it, NaN signs
// included.
TEST_P(StiffnessEnvelope, SpecialValuesGiveThePlainLoopsBytes) {
    struct Case {
        std::string name;
        std::string input;
        std::vector<std::string> words;
    };
    std::vector<Case> cases = {
        // A bar whose EA overflows, nothing constrained.
        {"EA beyond the range", "C\n2 1\n0 0\n2 0\nB\n3 1 1\nS\n1 3e38\nM\n200000\nV\n", {"zelk"}},
    };
    const char *special[] = {"nan", "-nan", "inf", "-inf", "1e39", "3e38"};
    using Field = std::string Values::*;
    const std::pair<const char *, Field> fields[] = {
        {"x", &Values::x},
        {"y", &Values::y},
        {"area", &Values::area},
        {"modulus", &Values::modulus},
        {"settlement", &Values::settlement},
        {"Q load", &Values::load},
        {"P magnitude", &Values::magnitude},
        {"P angle", &Values::angle},
    };
    // 11 equations, and 199, which take the full table's tiles.
    for (auto [rows, cols] : {std::pair{3, 3}, std::pair{5, 25}}) {
        const std::string size = std::to_string(rows) + "x" + std::to_string(cols) + " ";
        for (const char *x : special)
            for (auto [what, field] : fields) {
                Values v{rows, cols};
                v.*field = x;
                cases.push_back({size + what + " " + x, values_text(v), {"zelk", "-q"}});
            }
        // Strict sizing whose allowable stress gives non-finite areas.
        for (const char *allowable : {"0", "-0", "-inf", "-nan"}) {
            Values v{rows, cols};
            v.area = allowable;
            cases.push_back({size + "strict sizing " + allowable, values_text(v), {"zelk", "-c", "4"}});
            cases.push_back({size + "strict sizing, debug " + allowable, values_text(v), {"zelk", "-d", "-c", "3"}});
        }
    }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const Both b = solve_both(c.input, c.words);
        EXPECT_EQ(b.fast.run.status, b.plain.run.status);
        EXPECT_EQ(b.fast.run.out, b.plain.run.out);
        EXPECT_EQ(b.fast.run.err, b.plain.run.err);
    }
}

// Limits the address space of this process to what it holds now and `more` bytes.
[[maybe_unused]] void limit_address_space(std::size_t more) {
    long pages = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    rlimit lim{};
    lim.rlim_cur = lim.rlim_max = rlim_t(pages) * 4096 + more;
    setrlimit(RLIMIT_AS, &lim);
}

// A run leaves the switches it was steered by, the counters it raised and
// its check behind; zelk_reset clears them all, so that the next run starts
// as a fresh process does.
TEST(AnalysisState, ResetRestoresTheSwitchesAndClearsTheCountsAndTheCheck) {
    test_switch.kernels = KERNELS_PORTABLE;
    test_switch.full_only = true;
    test_switch.plain_only = true;
    const SioRun run = run_zelk(grid_text(Grid{}), {"zelk"});
    ASSERT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(stiffness_use.full_tables, 1);
    ASSERT_GT(stiffness_use.envelope_values, 0u);
    ASSERT_TRUE(last_accuracy.estimated);
    ASSERT_TRUE(test_switch.plain_only);
    zelk_reset();
    EXPECT_EQ(test_switch.kernels, KERNELS_AUTO);
    EXPECT_FALSE(test_switch.full_only);
    EXPECT_FALSE(test_switch.plain_only);
    EXPECT_EQ(stiffness_use.full_tables, 0);
    EXPECT_EQ(stiffness_use.envelope_values, 0u);
    EXPECT_FALSE(last_accuracy.estimated);
}

TEST(StiffnessMemory, FullTableThatCannotBeHadEndsWithOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory needs more address space than the limit leaves";
#else
    // 7,079 equations: a full table of 200 MB, an envelope of about 7 MB.
    Grid g{60, 60, false, "inf"};
    const std::string input = grid_text(g);
    EXPECT_EXIT(
        {
            limit_address_space(std::size_t(64) << 20);
            SioRun run = run_zelk(input, {"zelk"});
            const bool ok = run.status == 1 && run.err == "\nzelk: out of memory\n" &&
                            run.out.find("# 7079 equations\n") != std::string::npos &&
                            run.out.find("pivot") == std::string::npos;
            std::fprintf(stderr, "%s", ok ? "as expected" : run.err.c_str());
            std::_Exit(ok ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "as expected");
#endif
}

} // namespace

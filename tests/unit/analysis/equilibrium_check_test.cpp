// The check of equilibrium after the solve: the rule on given loads and
// reactions, and the warning of whole runs on trusses whose solution is
// right, spoiled by rounding, or infinite or undefined, and of runs that
// solve nothing. The figures of the spoiled runs are those that the
// benchmarks' generated bridges (bench/gen_truss) give.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "analysis.h"
#include "zelk_run.h"

namespace {

// ---------------------------------------------------------------------------
// The rule, on the triangle of the README: node 1 pinned, node 2 on a roller
// (y), node 3 free and pulled along x by 6; by hand the reactions are -6 and
// -8 at node 1 and 8 at node 2.
// ---------------------------------------------------------------------------

struct Balance {
    const char *name;
    std::vector<float> loads;     // qorig: node 1 x, y, node 2 x, y, node 3 x, y
    std::vector<float> solved;    // q after the solve: reactions at node 1 x, y and node 2 y
    std::vector<float> displaced; // d: prescribed values, and the solution at node 2 x, node 3
    double miss;                  // NaN: cannot be computed
};

const float inf = INFINITY, nan_ = NAN;

const Balance balances[] = {
    {"triangle as solved", {0, 0, 0, 0, 6, 0}, {-6, -8, 0, 8, 6, 0}, {0, 0, 0, 0, 0, 0}, 0},
    {"x reaction short by 0.125", {0, 0, 0, 0, 6, 0}, {-5.875f, -8, 0, 8, 6, 0}, {}, 0.125 / 6},
    {"the larger axis counts", {0, 0, 0, 0, 6, 0}, {-5.875f, -8, 0, 7.75f, 6, 0}, {}, 0.25 / 6},
    {"a load on a support enters sum and total", // 2 up at node 1
     {0, 2, 0, 0, 6, 0},
     {-6, -9.5f, 0, 8, 6, 0},
     {},
     0.5 / 8},
    {"moved support, no load: the reactions' total", // node 2 sinks
     {0, 0, 0, 0, 0, 0},
     {0, 5, 0, -4, 0, 0},
     {0, 0, 0, -0.01f, 0, 0},
     1.0 / 9},
    {"moved support and load: loads and reactions", // 6, and 6 + 5 + 4
     {0, 0, 0, 0, 6, 0},
     {-6, 5, 0, -4, 6, 0},
     {0, 0, 0, -0.01f, 0, 0},
     1.0 / 21},
    {"no load, no support moved (-0 is not moved)",
     {0, 0, 0, 0, 0, 0},
     {0, 0, 0, 0, 0, 0},
     {0, -0.0f, 0, -0.0f, 0, 0},
     0},
    {"undefined reaction", {0, 0, 0, 0, 6, 0}, {nan_, -8, 0, 8, 6, 0}, {}, std::nan("")},
    {"infinite load", {0, 0, 0, 0, inf, 0}, {-inf, -8, 0, 8, inf, 0}, {}, std::nan("")},
    {"undefined displacement, reactions balanced",
     {0, 0, 0, 0, 6, 0},
     {-6, -8, 0, 8, 6, 0},
     {0, 0, 0, 0, nan_, 0},
     std::nan("")},
};

TEST(EquilibriumMiss, LoadsAndReactionsAddedPerAxis) {
    for (const Balance &b : balances) {
        zelk_reset();
        nn = 3;
        v = {-1, -2, 0, -3, 1, 2}; // equation codes: node 1 and node 2 y constrained
        qorig = b.loads;
        q = b.solved;
        d = b.displaced.empty() ? std::vector<float>(6, 0.0f) : b.displaced;
        const double miss = equilibrium_miss();
        if (std::isnan(b.miss))
            EXPECT_TRUE(std::isnan(miss)) << b.name << ": " << miss;
        else
            EXPECT_NEAR(miss, b.miss, 1e-12) << b.name;
    }
    zelk_reset();
}

// ---------------------------------------------------------------------------
// Whole runs
// ---------------------------------------------------------------------------

// A Pratt bridge of `panels` panels 4 long and `depth` deep, pinned at one
// end, on a roller at the other, 1 down at every inner bottom node: the
// truss of "gen_truss bridge", node for node and bar for bar.
std::string bridge(int panels, double depth = 3, const char *section = "2") {
    std::ostringstream t;
    t << "C\n";
    for (int i = 0; i <= panels; i++)
        t << 4 * i << " 0\n" << 4 * i << ' ' << depth << '\n';
    auto bot = [](int i) { return 2 * i + 1; };
    auto top = [](int i) { return 2 * i + 2; };
    t << "B\n";
    for (int i = 0; i < panels; i++) {
        t << bot(i) << ' ' << bot(i + 1) << " 1\n" << top(i) << ' ' << top(i + 1) << " 1\n";
        if (2 * i < panels) // the diagonals fall towards mid-span
            t << top(i) << ' ' << bot(i + 1) << " 1\n";
        else
            t << bot(i) << ' ' << top(i + 1) << " 1\n";
    }
    for (int i = 0; i <= panels; i++)
        t << bot(i) << ' ' << top(i) << " 1\n";
    t << "S 1 " << section << "\nM 1000\nV 1 1 0 1 2 0 " << bot(panels) << " 2 0\nQ\n";
    for (int i = 1; i < panels; i++)
        t << bot(i) << " 2 -1\n";
    return t.str();
}

// The triangle of the strict-sizing tests: span 8, rise 3, 10 down at the apex.
std::string triangle(const char *section, const char *modulus = "1000", const char *load = "-10") {
    return std::string("C 0 0  8 0  4 3\nB 1 2 1  1 3 1  2 3 1\nS 1 ") + section + "\nM " +
           modulus + "\nV 1 1 0  1 2 0  2 2 0\nQ 3 2 " + load + "\n";
}

std::string missed(const char *figure) {
    return std::string("\nzelk: warning: reactions miss the loads by ") + figure +
           ": rounding spoiled the solution\n";
}
const std::string undefined =
    "\nzelk: warning: the solution holds infinite or undefined values: it is spoiled\n";
const std::string sizing = "\n# Warning: strict sizing of cross-sections\n";
const std::string no_solution = "\nzelk: there is no solution! (function `resuelve'\n";

struct CheckedRun {
    const char *name;
    std::string input;
    std::vector<std::string> options;
    std::string err;
    int status;
};

TEST(EquilibriumCheck, WarnsPastOneThousandthOfTheLoad) {
    const std::string slender = bridge(4, 0.03, "-100"); // 17 equations, sized strictly
    const CheckedRun runs[] = {
        {"triangle", triangle("2"), {}, "", 0},
        {"bridge 55: misses by 0.085%", bridge(55), {}, "", 0},
        {"bridge 40", bridge(40), {}, missed("0.109%"), 0},
        {"bridge 50", bridge(50), {}, missed("0.116%"), 0},
        {"bridge 100", bridge(100), {}, missed("0.821%"), 0},
        {"bridge 300", bridge(300), {}, missed("55.2%"), 0},
        // Strict sizing: the solve checked is the last one made.
        {"slender, -c 0: the unit-area solve", slender, {"-c", "0"}, sizing + missed("59.4%"), 0},
        {"slender, -c 1: cycle 1", slender, {"-c", "1"}, sizing + missed("39.8%"), 0},
        {"slender, -c 3: cycle 3", slender, {"-c", "3"}, sizing + missed("20.3%"), 0},
        // Infinite or undefined results.
        {"undefined modulus", triangle("2", "-nan"), {}, undefined, 0},
        {"infinite load", triangle("2", "1000", "inf"), {}, undefined, 0},
        {"no support, undefined modulus: only the displacements show it",
         "C 0 0 4 0\nB 1 2 1\nS 1 1\nM -nan\nV\nQ 2 1 5\n",
         {},
         undefined,
         0},
        {"sized with stress 0: infinite areas from cycle 1",
         triangle("-0"),
         {"-c", "2"},
         sizing + undefined,
         0},
        {"the same, -c 0: the unit-area solve is sound", triangle("-0"), {"-c", "0"}, sizing, 0},
        // Nothing solved, nothing checked (the loads would miss by 100%).
        {"-t", triangle("2", "-nan"), {"-t", "-s"}, "", 0},
        {"zero pivot",
         "C 0 0 4 0\nB 1 2 1\nS 1 1\nM 100\nV 1 1 0 1 2 0\nQ 2 1 5\n",
         {},
         no_solution,
         1},
        {"zero-length bar",
         "C 0 0 4 0 4 3\nB 1 2 1 3 3 1 1 3 1\nS 1 1\nM 100\nV 1 1 0 1 2 0 2 2 0\n"
         "Q 3 1 5\n",
         {},
         no_solution,
         1},
    };
    for (const CheckedRun &r : runs) {
        std::vector<std::string> words = {"zelk"};
        words.insert(words.end(), r.options.begin(), r.options.end());
        SioRun run = run_zelk(r.input, words);
        EXPECT_EQ(run.status, r.status) << r.name;
        EXPECT_EQ(run.err, r.err) << r.name;
    }
}

std::string slurp(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(EquilibriumCheck, ShippedExamplesAndHandCasesAreSilent) {
    const auto root = std::filesystem::path(__FILE__).parent_path() / "../../..";
    std::vector<std::filesystem::path> inputs = {root / "docs/triangle.txt"};
    for (const auto &e : std::filesystem::directory_iterator(root / "examples"))
        if (e.path().extension() == ".txt") inputs.push_back(e.path());
    for (const auto &e : std::filesystem::directory_iterator(root / "tests/cases/zelk/hand"))
        if (std::filesystem::exists(e.path() / "stdin")) inputs.push_back(e.path() / "stdin");
    ASSERT_GE(inputs.size(), 11u) << "examples or hand cases not found under " << root;
    for (const auto &p : inputs) {
        SioRun run = run_zelk(slurp(p), {"zelk"});
        EXPECT_EQ(run.status, 0) << p;
        // The warnings that the examples ask for: strict sizing, no load list.
        for (const std::string &w :
             {sizing, std::string("\nzelk: warning: P and Q lists missing: we proceed anyway\n")})
            if (run.err == w) run.err.clear();
        EXPECT_EQ(run.err, "") << p;
    }
}

} // namespace

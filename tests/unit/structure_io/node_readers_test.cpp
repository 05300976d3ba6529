// Readers of the lists whose records name their node (P, Q/R, V) and of the
// matrix list X.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "sio_capture.h"
#include "structure_io.h"

namespace {

const std::string kModulusWarning = "\nzelk: warning: modulus must be a positive number: fixed\n";

std::string g(float x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", double(x));
    return buf;
}

// Runs a reader under the program name zelk (the name of the library's messages).
template <class F> SioRun run_named(const std::string &input, F fn) {
    return sio_run(input, [&] {
        prgcpy = "zelk";
        fn();
    });
}

// ---------------------------------------------------------------------------
// in_qdn: node, direction, value added into the load array
// ---------------------------------------------------------------------------

struct QCase {
    const char *label;
    std::string input;
    int status;
    float_list q; // after the call, nn = 3
    std::string rest;
    std::string out;
};

TEST(InQdn, AddsComponentLoads) {
    const QCase cases[] = {
        {"one record", "3 2 -10", 0, {0, 0, 0, 0, 0, -10}, "", "3 2 -10"},
        {"same entry twice",
         "3 2 -10\n3 2 -10\n",
         0,
         {0, 0, 0, 0, 0, -20},
         "",
         "3 2 -10\n3 2 -10\n"},
        {"ended by a letter",
         "1 1 2.5 2 2 -1 C",
         0,
         {2.5f, 0, 0, -1, 0, 0},
         "C",
         "1 1 2.5 2 2 -1 "},
        {"no record", "V", 0, {0, 0, 0, 0, 0, 0}, "V", ""},
        {"empty input", "", 0, {0, 0, 0, 0, 0, 0}, "", ""},
        {"direction 0", "1 0 5 C", 1, {0, 0, 0, 0, 0, 0}, " C", "1 0 5"},
        {"direction 3", "1 3 5", 1, {0, 0, 0, 0, 0, 0}, "", "1 3 5"},
        {"node 0", "0 1 5", 1, {0, 0, 0, 0, 0, 0}, "", "0 1 5"},
        {"node nn+1", "4 1 5", 1, {0, 0, 0, 0, 0, 0}, "", "4 1 5"},
        {"negative node", "-1 2 5", 1, {0, 0, 0, 0, 0, 0}, "", "-1 2 5"},
        {"earlier record kept", "1 2 3\n4 1 5", 1, {0, 3, 0, 0, 0, 0}, "", "1 2 3\n4 1 5"},
        {"cut after node", "1", READ_EOF, {0, 0, 0, 0, 0, 0}, "", "1"},
        {"cut after direction", "1 2", READ_EOF, {0, 0, 0, 0, 0, 0}, "", "1 2"},
        {"direction not a number", "1 x", READ_NOT_NUMBER, {0, 0, 0, 0, 0, 0}, "x", "1 "},
        {"value not a number", "1 2 x", READ_NOT_NUMBER, {0, 0, 0, 0, 0, 0}, "x", "1 2 "},
        {"range tested after the value", "9 9 x", READ_NOT_NUMBER, {0, 0, 0, 0, 0, 0}, "x", "9 9 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        float_list q; // not yet created: allocated zero-filled for 2*nn values
        int st = 99;
        SioRun r = run_named(c.input, [&] { st = in_qdn(3, &q, 1); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(q, c.q);
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, -1);
    }
}

TEST(InQdn, LoadsAndReactionsShareTheArray) {
    float_list q;
    SioRun r = run_named("3 2 -10\nR 3 2 4.5\n", [&] {
        EXPECT_EQ(in_qdn(3, &q, 0), 0); // Q list
        EXPECT_EQ(std::getc(sio_in), 'R');
        EXPECT_EQ(in_qdn(3, &q, 0), 0); // R list adds into the same entry
    });
    EXPECT_EQ(q, (float_list{0, 0, 0, 0, 0, -5.5f}));
}

TEST(InQdn, RangeTestedWhenNothingIsWanted) {
    int st = 99;
    SioRun r = run_named("1 1 5 4 1 5", [&] { st = in_qdn(3, nullptr, 1); });
    EXPECT_EQ(st, 1);
    EXPECT_EQ(r.out, "1 1 5 4 1 5");
    r = run_named("1 1 5 3 2 5 B", [&] { st = in_qdn(3, nullptr, 1); });
    EXPECT_EQ(st, 0);
    EXPECT_EQ(r.rest, "B");
}

TEST(InQdn, ExistingArrayKeepsItsEntries) {
    // Created for two nodes by an earlier list; a longer C list came since.
    float_list q = {1, 2, 3, 4};
    run_named("3 1 5 1 1 1", [&] { EXPECT_EQ(in_qdn(3, &q, 0), 0); });
    EXPECT_EQ(q, (float_list{2, 2, 3, 4, 5, 0})) << "grown zero-filled, entries in place";

    // Created for four nodes; the node count is now three: used unchanged.
    float_list big = {0, 0, 0, 0, 0, 0, 7, 8};
    run_named("3 2 1", [&] { EXPECT_EQ(in_qdn(3, &big, 0), 0); });
    EXPECT_EQ(big, (float_list{0, 0, 0, 0, 0, 1, 7, 8}));
}

// ---------------------------------------------------------------------------
// in_pdn: node, modulus, angle in degrees
// ---------------------------------------------------------------------------

struct PCase {
    const char *label;
    std::string input;
    int status;
    float_list q; // nn = 3
    std::string rest;
    std::string err;
};

TEST(InPdn, AddsPolarLoads) {
    const PCase cases[] = {
        {"angle 0", "2 5 0", 0, {0, 0, 5, 0, 0, 0}, "", ""},
        {"negative modulus fixed", "2 -5 0", 0, {0, 0, 5, 0, 0, 0}, "", kModulusWarning},
        {"negative zero modulus not fixed", "2 -0 0", 0, {0, 0, 0, 0, 0, 0}, "", ""},
        {"two records on one node", "1 2 0 1 3 0", 0, {5, 0, 0, 0, 0, 0}, "", ""},
        {"ended by a letter", "3 1 0\nQ", 0, {0, 0, 0, 0, 1, 0}, "Q", ""},
        {"no record", "x", 0, {0, 0, 0, 0, 0, 0}, "x", ""},
        {"node nn+1", "4 1 0", 1, {0, 0, 0, 0, 0, 0}, "", ""},
        {"node 0", "0 1 0", 1, {0, 0, 0, 0, 0, 0}, "", ""},
        {"warns before the range test", "4 -1 0", 1, {0, 0, 0, 0, 0, 0}, "", kModulusWarning},
        {"warns before the angle fails",
         "2 -5 x",
         READ_NOT_NUMBER,
         {0, 0, 0, 0, 0, 0},
         "x",
         kModulusWarning},
        {"warns before the end of input",
         "2 -5",
         READ_EOF,
         {0, 0, 0, 0, 0, 0},
         "",
         kModulusWarning},
        {"modulus not a number", "2 x", READ_NOT_NUMBER, {0, 0, 0, 0, 0, 0}, "x", ""},
        {"cut after node", "2", READ_EOF, {0, 0, 0, 0, 0, 0}, "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        float_list q;
        int st = 99;
        SioRun r = run_named(c.input, [&] { st = in_pdn(3, &q, 0); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(q, c.q);
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.status, -1);
    }
}

TEST(InPdn, ComponentsInDoublePrecision) {
    struct Case {
        const char *input;
        float axis1, axis2;  // exact values expected at node 1
        const char *g1, *g2; // and their "%g" text
    } cases[] = {
        // cos(pi/2) in double is 6.123233995736766e-17, not 0.
        {"1 10 90", float(6.123233995736766e-16), 10.0f, "6.12323e-16", "10"},
        {"1 10 180", -10.0f, float(1.2246467991473532e-15), "-10", "1.22465e-15"},
        // sin(pi/6) * 2 is 0.9999999999999999 in double; rounds to exactly 1.
        {"1 2 30", 1.7320508f, 1.0f, "1.73205", "1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        float_list q;
        run_named(c.input, [&] { EXPECT_EQ(in_pdn(3, &q, 0), 0); });
        ASSERT_EQ(q.size(), 6u);
        EXPECT_EQ(q[0], c.axis1);
        EXPECT_EQ(q[1], c.axis2);
        EXPECT_EQ(g(q[0]), c.g1);
        EXPECT_EQ(g(q[1]), c.g2);
    }
}

TEST(InPdn, SumRoundedOnceToSinglePrecision) {
    // cos(17 deg) * 3 + 1.1f formed in double and rounded once: 3.96891427;
    // rounding the product to float before adding would give 3.96891451.
    float_list q = {1.1f, 0, 0, 0, 0, 0};
    run_named("1 3 17", [&] { EXPECT_EQ(in_pdn(3, &q, 0), 0); });
    EXPECT_EQ(q[0], 3.96891427f);
    EXPECT_NE(q[0], 3.96891451f);
}

TEST(InPdn, WarnsAndRangeTestsWhenNothingIsWanted) {
    int st = 99;
    SioRun r = run_named("1 -2 45 4 1 0", [&] { st = in_pdn(3, nullptr, 1); });
    EXPECT_EQ(st, 1);
    EXPECT_EQ(r.err, kModulusWarning);
    EXPECT_EQ(r.out, "1 -2 45 4 1 0");
}

TEST(InPdn, EndOfInputCallWithNoNodes) {
    float_list q;
    int st = 99;
    SioRun r = run_named("", [&] { st = in_pdn(0, &q, 0); });
    EXPECT_EQ(st, 0);
    EXPECT_TRUE(q.empty());
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, -1);
}

TEST(InPdn, ExistingSmallerArrayGrowsZeroFilled) {
    float_list q = {1, 2};
    run_named("3 4 0", [&] { EXPECT_EQ(in_pdn(3, &q, 0), 0); });
    EXPECT_EQ(q, (float_list{1, 2, 0, 0, 4, 0}));
}

// ---------------------------------------------------------------------------
// in_V: node, direction, prescribed value
// ---------------------------------------------------------------------------

struct VCase {
    const char *label;
    std::string input;
    int status;
    int_list v;
    float_list d;
    std::string rest;
    std::string out;
};

TEST(InV, SetsFlagsAndPrescribedValues) {
    const int_list v0 = {0, 0, 0, 0, 0, 0};
    const float_list d0 = {0, 0, 0, 0, 0, 0};
    const VCase cases[] = {
        {"one record", "1 2 0.5", 0, {0, 1, 0, 0, 0, 0}, {0, 0.5f, 0, 0, 0, 0}, "", "1 2 0.5"},
        {"later value replaces",
         "1 2 0.5 1 2 0.7",
         0,
         {0, 1, 0, 0, 0, 0},
         {0, 0.7f, 0, 0, 0, 0},
         "",
         "1 2 0.5 1 2 0.7"},
        {"two nodes then a letter",
         "1 1 0\n3 2 -0.01\nP",
         0,
         {1, 0, 0, 0, 0, 1},
         {0, 0, 0, 0, 0, -0.01f},
         "P",
         "1 1 0\n3 2 -0.01\n"},
        {"no record", "P", 0, v0, d0, "P", ""},
        {"empty input", "", 0, v0, d0, "", ""},
        {"direction 0", "1 0 0", 1, v0, d0, "", "1 0 0"},
        {"direction 3", "1 3 0", 1, v0, d0, "", "1 3 0"},
        {"node 0", "0 1 0", 1, v0, d0, "", "0 1 0"},
        {"node nn+1", "4 1 0", 1, v0, d0, "", "4 1 0"},
        {"cut after direction", "1 2", READ_EOF, v0, d0, "", "1 2"},
        {"value not a number", "1 2 x", READ_NOT_NUMBER, v0, d0, "x", "1 2 "},
        {"direction not a number", "1 B", READ_NOT_NUMBER, v0, d0, "B", "1 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        int_list v;
        float_list d;
        int st = 99;
        SioRun r = run_named(c.input, [&] { st = in_V(3, &v, &d, 1); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(v, c.v);
        EXPECT_EQ(d, c.d);
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(InV, DisplacementsWithoutFlagsAndNothingWanted) {
    float_list d;
    run_named("2 1 0.25", [&] { EXPECT_EQ(in_V(3, nullptr, &d, 0), 0); });
    EXPECT_EQ(d, (float_list{0, 0, 0.25f, 0, 0, 0}));

    int st = 99;
    SioRun r = run_named("1 1 0 4 1 0", [&] { st = in_V(3, nullptr, nullptr, 1); });
    EXPECT_EQ(st, 1);
    EXPECT_EQ(r.out, "1 1 0 4 1 0");
}

TEST(InV, EveryListResizesDisplacementsToNodeCount) {
    float_list d = {1, 2}; // an earlier V list for one node
    run_named("", [&] { EXPECT_EQ(in_V(3, nullptr, &d, 0), 0); });
    EXPECT_EQ(d, (float_list{1, 2, 0, 0, 0, 0})) << "kept, and the added entries are zero";

    d = {1, 2, 3, 4, 5, 6, 7, 8}; // four nodes before, three now
    run_named("3 1 9", [&] { EXPECT_EQ(in_V(3, nullptr, &d, 0), 0); });
    EXPECT_EQ(d, (float_list{1, 2, 3, 4, 9, 6}));
}

TEST(InV, FlagsCreatedOnceAndNeverCleared) {
    int_list v = {1, 0}; // created for one node by an earlier list
    run_named("3 1 0 1 1 0", [&] { EXPECT_EQ(in_V(3, &v, nullptr, 0), 0); });
    EXPECT_EQ(v, (int_list{1, 0, 0, 0, 1, 0})) << "grown zero-filled, entries in place";

    int_list big = {0, 0, 0, 0, 0, 0, 1, 1}; // created for four nodes
    run_named("2 2 0", [&] { EXPECT_EQ(in_V(3, &big, nullptr, 0), 0); });
    EXPECT_EQ(big, (int_list{0, 0, 0, 1, 0, 0, 1, 1}));
}

// ---------------------------------------------------------------------------
// in_matrizB: rows of 2*nn values, at most nb rows
// ---------------------------------------------------------------------------

struct XCase {
    const char *label;
    std::string input;
    int status;
    std::vector<float> rows; // nb = 2, nn = 2: row 0 then row 1
    std::string rest;
};

TEST(InMatrizB, ReadsWholeRows) {
    const XCase cases[] = {
        {"two rows", "1 2 3 4\n5 6 7 8\nC", 0, {1, 2, 3, 4, 5, 6, 7, 8}, "C"},
        {"one row", "1 2 3 4 C", 0, {1, 2, 3, 4, 0, 0, 0, 0}, "C"},
        {"no row, letter", "C", 0, {0, 0, 0, 0, 0, 0, 0, 0}, "C"},
        {"no row, end of input", "", 0, {0, 0, 0, 0, 0, 0, 0, 0}, ""},
        {"row cut by a letter", "1 2 C", 1, {1, 2, 0, 0, 0, 0, 0, 0}, "C"},
        {"row cut by end of input", "1 2", 1, {1, 2, 0, 0, 0, 0, 0, 0}, ""},
        {"second row cut", "1 2 3 4 5 C", 1, {1, 2, 3, 4, 5, 0, 0, 0}, "C"},
        {"written table read back",
         "\t0.5  -1  0  0  \n\t0  0  0.25  1  \n# end\nD",
         0,
         {0.5f, -1, 0, 0, 0, 0, 0.25f, 1},
         "D"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        Kmatrix B = nullptr;
        int st = 99;
        SioRun r = run_named(c.input, [&] { st = in_matrizB(2, 2, &B, 0); });
        EXPECT_EQ(st, c.status);
        ASSERT_NE(B, nullptr) << "created at the first X list that wants it";
        std::vector<float> got(B[0], B[0] + 4);
        got.insert(got.end(), B[1], B[1] + 4);
        EXPECT_EQ(got, c.rows);
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.err, "");
        Kfree(2, B);
    }
}

TEST(InMatrizB, TooManyNumbersEndsTheRun) {
    for (bool wanted : {true, false}) {
        SCOPED_TRACE(wanted ? "matrix wanted" : "matrix not wanted");
        Kmatrix B = nullptr;
        SioRun r =
            run_named("1 2 3 4 5 6 7 8 9 C", [&] { in_matrizB(2, 2, wanted ? &B : nullptr, 1); });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "\nzelk: List X has too many numbers!\n");
        EXPECT_EQ(r.out, "1 2 3 4 5 6 7 8 9") << "the ninth number is read and echoed first";
        EXPECT_EQ(r.rest, " C");
        if (wanted) {
            ASSERT_NE(B, nullptr);
            EXPECT_EQ(B[1][3], 8.0f);
            Kfree(2, B);
        }
    }
}

TEST(InMatrizB, UnwantedMatrixIsReadAndDropped) {
    int st = 99;
    SioRun r = run_named("1 2 3 4 5 6 7 8 C", [&] { st = in_matrizB(2, 2, nullptr, 1); });
    EXPECT_EQ(st, 0);
    EXPECT_EQ(r.out, "1 2 3 4 5 6 7 8 ");
    EXPECT_EQ(r.rest, "C");
}

TEST(InMatrizB, SecondListOverwritesFromFirstRow) {
    Kmatrix B = Kalloc(2, 4);
    for (int j = 0; j < 4; ++j)
        B[0][j] = B[1][j] = 7.0f;
    run_named("9 9 9 9 C", [&] { EXPECT_EQ(in_matrizB(2, 2, &B, 0), 0); });
    EXPECT_EQ(std::vector<float>(B[0], B[0] + 4), (std::vector<float>{9, 9, 9, 9}));
    EXPECT_EQ(std::vector<float>(B[1], B[1] + 4), (std::vector<float>{7, 7, 7, 7}));
    Kfree(2, B);
}

TEST(InMatrizB, ValuesBeyondAnEarlierSmallerMatrixAreNotStored) {
    // The first X list creates the matrix for one bar and one node; a later
    // one is read for two of each.
    Kmatrix B = nullptr;
    int first = 99, second = 99;
    SioRun r = run_named("1 2\nX 3 4 5 6 7 8 9 10 C", [&] {
        first = in_matrizB(1, 1, &B, 0);
        EXPECT_EQ(std::getc(sio_in), 'X');
        second = in_matrizB(2, 2, &B, 0);
    });
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.rest, "C");
    ASSERT_NE(B, nullptr);
    EXPECT_EQ(B[0][0], 3.0f);
    EXPECT_EQ(B[0][1], 4.0f);

    Kmatrix B2 = nullptr;
    r = run_named("1 2\nX 3 4 5 6 7 8 9 10 11", [&] {
        in_matrizB(1, 1, &B2, 0);
        std::getc(sio_in);
        in_matrizB(2, 2, &B2, 0);
    });
    EXPECT_EQ(r.status, 1) << "values outside the matrix still count against the limit";
    EXPECT_EQ(r.err, "\nzelk: List X has too many numbers!\n");
    Kfree(1, B);
    Kfree(1, B2);
}

TEST(InMatrizB, ValueLimitDoesNotOverflow) {
    // 2 * nb * nn is 2^31 here: beyond int, so an int limit would be negative.
    int st = 99;
    SioRun r = run_named("0.5 0.25\n1 1 C", [&] { st = in_matrizB(1, 1 << 30, nullptr, 0); });
    EXPECT_EQ(st, 0);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.rest, "C");
}

} // namespace

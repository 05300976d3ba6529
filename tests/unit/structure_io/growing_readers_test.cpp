// Readers of the lists stored in input order: B, C/D, E/H, M, S.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "sio_capture.h"
#include "structure_io.h"

namespace {

constexpr int kUnset = -5;    // count sentinel: "not written"
constexpr int kAny = INT_MIN; // an entry grown for a cut record, holding no value yet
constexpr float kAnyF = -12345.0f;

// Compares sizes, and every entry that is not marked kAny / kAnyF.
void expect_ints(const int_list &got, const std::vector<int> &want, const char *what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != kAny) {
            EXPECT_EQ(got[i], want[i]) << what << "[" << i << "]";
        }
}

void expect_floats(const float_list &got, const std::vector<float> &want, const char *what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (size_t i = 0; i < want.size(); ++i)
        if (want[i] != kAnyF) {
            EXPECT_EQ(got[i], want[i]) << what << "[" << i << "]";
        }
}

// ---------------------------------------------------------------------------
// in_B
// ---------------------------------------------------------------------------

struct BCase {
    const char *label;
    std::string input;
    int status;
    int count;
    std::vector<int> ndb, sb;
    std::string rest;
    std::string out; // echo on
};

TEST(InB, ReadsBarRecords) {
    const BCase cases[] = {
        {"two bars, end of input",
         "1 2 1 2 3 1",
         READ_OK,
         2,
         {1, 2, 2, 3},
         {1, 1},
         "",
         "1 2 1 2 3 1"},
        {"ended by a list letter",
         "1 2 1\n2 3 1\nC 0 0",
         READ_OK,
         2,
         {1, 2, 2, 3},
         {1, 1},
         "C 0 0",
         "1 2 1\n2 3 1\n"},
        {"letter at once", "C", READ_OK, 0, {}, {}, "C", ""},
        {"empty input", "", READ_OK, 0, {}, {}, "", ""},
        {"values stored as read", "0 -1 7", READ_OK, 1, {0, -1}, {7}, "", "0 -1 7"},
        {"echo normalised", "001 +2 03 # c\n", READ_OK, 1, {1, 2}, {3}, "", "1 2 3 # c\n"},
        {"next record not a number", "1 2 1 x", READ_OK, 1, {1, 2}, {1}, "x", "1 2 1 "},
        {"cut after two fields", "1 2", READ_EOF, kUnset, {1, 2}, {kAny}, "", "1 2"},
        {"cut by a letter", "1 2 x", READ_NOT_NUMBER, kUnset, {1, 2}, {kAny}, "x", "1 2 "},
        {"cut after one field", "5", READ_EOF, kUnset, {5, kAny}, {kAny}, "", "5"},
        {"decimal point in a field",
         "1.0 2 1",
         READ_NOT_NUMBER,
         kUnset,
         {1, kAny},
         {kAny},
         ".0 2 1",
         "1"},
        {"second record cut",
         "1 2 1 3 x",
         READ_NOT_NUMBER,
         kUnset,
         {1, 2, 3, kAny},
         {1, kAny},
         "x",
         "1 2 1 3 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        int n = kUnset, st = 99;
        int_list ndb, sb;
        SioRun r = sio_run(c.input, [&] { st = in_B(&n, &ndb, &sb, 1); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(n, c.count);
        expect_ints(ndb, c.ndb, "ndb");
        expect_ints(sb, c.sb, "sb");
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, -1);
    }
}

TEST(InB, RepeatedListRestartsArrays) {
    int n = kUnset;
    int_list ndb = {9, 9, 9, 9, 9, 9}, sb = {8, 8, 8}; // an earlier list of three bars
    sio_run("4 5 2\nS", [&] { EXPECT_EQ(in_B(&n, &ndb, &sb, 0), READ_OK); });
    EXPECT_EQ(n, 1);
    EXPECT_EQ(ndb, (int_list{4, 5}));
    EXPECT_EQ(sb, (int_list{2}));

    n = kUnset;
    sio_run("S", [&] { EXPECT_EQ(in_B(&n, &ndb, &sb, 0), READ_OK); });
    EXPECT_EQ(n, 0) << "a list without records reports 0";
    EXPECT_EQ(ndb, (int_list{4, 5})) << "and leaves the arrays as they were";
    EXPECT_EQ(sb, (int_list{2}));
}

TEST(InB, TwoListsInOneStream) {
    int n1 = kUnset, n2 = kUnset;
    int_list ndb, sb;
    SioRun r = sio_run("1 2 1 2 3 1 3 1 2\nB 4 5 2\nM", [&] {
        EXPECT_EQ(in_B(&n1, &ndb, &sb, 1), READ_OK);
        EXPECT_EQ(std::getc(sio_in), 'B');
        EXPECT_EQ(in_B(&n2, &ndb, &sb, 1), READ_OK);
    });
    EXPECT_EQ(n1, 3);
    EXPECT_EQ(n2, 1);
    EXPECT_EQ(ndb, (int_list{4, 5}));
    EXPECT_EQ(sb, (int_list{2}));
    EXPECT_EQ(r.rest, "M");
    EXPECT_EQ(r.out, "1 2 1 2 3 1 3 1 2\n 4 5 2\n");
}

TEST(InB, NullArraysReadAndDrop) {
    int n = kUnset;
    SioRun r =
        sio_run("1 2 1\n2 3 1 C", [&] { EXPECT_EQ(in_B(&n, nullptr, nullptr, 1), READ_OK); });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(r.out, "1 2 1\n2 3 1 ");
    EXPECT_EQ(r.rest, "C");

    int_list sb;
    sio_run("1 2 1\n2 3 4", [&] { EXPECT_EQ(in_B(nullptr, nullptr, &sb, 0), READ_OK); });
    EXPECT_EQ(sb, (int_list{1, 4})) << "one array wanted, the other not";
}

TEST(InB, LongListGrowsRecordByRecord) {
    std::string text;
    for (int k = 0; k < 300; ++k)
        text +=
            std::to_string(k) + " " + std::to_string(k + 1) + " " + std::to_string(k % 7) + "\n";
    int n = kUnset;
    int_list ndb = {42}, sb;
    sio_run(text + "C", [&] { EXPECT_EQ(in_B(&n, &ndb, &sb, 0), READ_OK); });
    ASSERT_EQ(n, 300);
    ASSERT_EQ(ndb.size(), 600u);
    ASSERT_EQ(sb.size(), 300u);
    for (int k = 0; k < 300; ++k) {
        EXPECT_EQ(ndb[2 * k], k);
        EXPECT_EQ(ndb[2 * k + 1], k + 1);
        EXPECT_EQ(sb[k], k % 7);
    }
}

// ---------------------------------------------------------------------------
// in_ddn
// ---------------------------------------------------------------------------

struct PairCase {
    const char *label;
    std::string input;
    int status;
    int count;
    std::vector<float> pairs;
    std::string rest;
    std::string out;
};

TEST(InDdn, ReadsNodePairs) {
    const PairCase cases[] = {
        {"two nodes", "0 0 4 0", READ_OK, 2, {0, 0, 4, 0}, "", "0 0 4 0"},
        {"ended by a letter", "1.5 -2e-5\nB 1", READ_OK, 1, {1.5f, -2e-5f}, "B 1", "1.5 -2e-05\n"},
        {"echo normalised", "2.50\t007 # n1\n", READ_OK, 1, {2.5f, 7}, "", "2.5\t7 # n1\n"},
        {"letter at once", "D", READ_OK, 0, {}, "D", ""},
        {"empty input", "", READ_OK, 0, {}, "", ""},
        {"cut by end of input", "1", READ_EOF, kUnset, {1, kAnyF}, "", "1"},
        {"cut by a letter", "1 2 3 x", READ_NOT_NUMBER, kUnset, {1, 2, 3, kAnyF}, "x", "1 2 3 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        int n = kUnset, st = 99;
        float_list pairs;
        SioRun r = sio_run(c.input, [&] { st = in_ddn(&n, &pairs, 1); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(n, c.count);
        expect_floats(pairs, c.pairs, "pairs");
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(InDdn, RestartAndDrop) {
    int n = kUnset;
    float_list pairs = {1, 2, 3, 4, 5, 6};
    sio_run("7 8", [&] { EXPECT_EQ(in_ddn(&n, &pairs, 0), READ_OK); });
    EXPECT_EQ(n, 1);
    EXPECT_EQ(pairs, (float_list{7, 8}));

    n = kUnset;
    SioRun r = sio_run("0 0 4 0 B", [&] { EXPECT_EQ(in_ddn(&n, nullptr, 1), READ_OK); });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(r.out, "0 0 4 0 ");
}

// ---------------------------------------------------------------------------
// in_ddb and in_tr: one value per record, never cut short
// ---------------------------------------------------------------------------

struct ValueCase {
    const char *label;
    std::string input;
    int count;
    std::vector<float> values;
    std::string rest;
    std::string out;
};

TEST(InDdbAndTr, ReadOneValuePerRecord) {
    const ValueCase cases[] = {
        {"two values then a letter", "0.001 0.002\nS", 2, {0.001f, 0.002f}, "S", "0.001 0.002\n"},
        {"moduli", "2.1e6 # steel\n7e+05", 2, {2.1e6f, 7e5f}, "", "2.1e+06 # steel\n700000"},
        {"letter at once", "B", 0, {}, "B", ""},
        {"empty input", "", 0, {}, "", ""},
        {"minus zero kept", "-0", 1, {-0.0f}, "", "-0"},
        {"lone sign ends the list", "3 - 4", 1, {3}, " 4", "3 "},
    };
    for (auto reader : {in_ddb, in_tr}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(reader == in_ddb ? "in_ddb: " : "in_tr: ") + c.label);
            int n = kUnset, st = 99;
            float_list v = {9, 9, 9, 9};
            SioRun r = sio_run(c.input, [&] { st = reader(&n, &v, 1); });
            EXPECT_EQ(st, READ_OK);
            EXPECT_EQ(n, c.count);
            if (c.count > 0)
                expect_floats(v, c.values, "values");
            else
                EXPECT_EQ(v, (float_list{9, 9, 9, 9})) << "no record: array untouched";
            EXPECT_EQ(r.rest, c.rest);
            EXPECT_EQ(r.out, c.out);
        }
    }
}

TEST(InDdbAndTr, NullCountAndNullArray) {
    float_list v;
    SioRun r = sio_run("1 2 3 C", [&] {
        EXPECT_EQ(in_ddb(nullptr, &v, 1), READ_OK);
        EXPECT_EQ(std::getc(sio_in), 'C');
    });
    EXPECT_EQ(v, (float_list{1, 2, 3}));
    int n = kUnset;
    r = sio_run("1 2 3 C", [&] { EXPECT_EQ(in_tr(&n, nullptr, 1), READ_OK); });
    EXPECT_EQ(n, 3);
    EXPECT_EQ(r.out, "1 2 3 ");
    EXPECT_EQ(r.rest, "C");
}

// ---------------------------------------------------------------------------
// in_S: material number, then area; area array first in the arguments
// ---------------------------------------------------------------------------

struct SCase {
    const char *label;
    std::string input;
    int status;
    int count;
    std::vector<int> ms;
    std::vector<float> As;
    std::string rest;
    std::string out;
};

TEST(InS, ReadsSectionTypes) {
    const SCase cases[] = {
        {"two types", "1 10.0 2 20.0", READ_OK, 2, {1, 2}, {10, 20}, "", "1 10 2 20"},
        {"ended by a letter", "1 0.5\nB", READ_OK, 1, {1}, {0.5f}, "B", "1 0.5\n"},
        {"negative area kept", "3 -150", READ_OK, 1, {3}, {-150}, "", "3 -150"},
        {"letter at once", "M", READ_OK, 0, {}, {}, "M", ""},
        {"cut after material", "1", READ_EOF, kUnset, {kAny}, {kAnyF}, "", "1"},
        {"area not a number", "1 x", READ_NOT_NUMBER, kUnset, {kAny}, {kAnyF}, "x", "1 "},
        {"second record cut", "1 10 2", READ_EOF, kUnset, {1, kAny}, {10, kAnyF}, "", "1 10 2"},
        {"next record not a number", "1 10.5 x", READ_OK, 1, {1}, {10.5f}, "x", "1 10.5 "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        int n = kUnset, st = 99;
        float_list As;
        int_list ms;
        SioRun r = sio_run(c.input, [&] { st = in_S(&n, &As, &ms, 1); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(n, c.count);
        expect_ints(ms, c.ms, "ms");
        expect_floats(As, c.As, "As");
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
    }
}

TEST(InS, MaterialNotStoredWhenAreaFails) {
    // A restarted list whose only record is cut: the old first entries are
    // not overwritten by the material number before the area is read.
    float_list As = {7.5f, 8.5f};
    int_list ms = {4, 5};
    sio_run("9 x", [&] { EXPECT_EQ(in_S(nullptr, &As, &ms, 0), READ_NOT_NUMBER); });
    ASSERT_EQ(ms.size(), 1u);
    EXPECT_NE(ms[0], 9);
}

TEST(InS, RestartAndDrop) {
    int n = kUnset;
    float_list As = {1, 2, 3};
    int_list ms = {1, 1, 1};
    sio_run("2 30", [&] { EXPECT_EQ(in_S(&n, &As, &ms, 0), READ_OK); });
    EXPECT_EQ(n, 1);
    EXPECT_EQ(As, (float_list{30}));
    EXPECT_EQ(ms, (int_list{2}));

    n = kUnset;
    SioRun r = sio_run("1 10 2 20 B", [&] { EXPECT_EQ(in_S(&n, nullptr, nullptr, 1), READ_OK); });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(r.out, "1 10 2 20 ");
}

} // namespace

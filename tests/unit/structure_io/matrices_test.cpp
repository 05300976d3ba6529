// Matrix allocation and release, and the node-pair and matrix list writers.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "sio_capture.h"
#include "structure_io.h"

namespace {

std::string g(float x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", double(x));
    return buf;
}

// ---------------------------------------------------------------------------
// Kalloc and Kfree
// ---------------------------------------------------------------------------

TEST(Kalloc, ZeroFilledSeparateRows) {
    const int shapes[][2] = {{1, 1}, {3, 5}, {7, 2}, {40, 40}};
    for (const auto &s : shapes) {
        SCOPED_TRACE(std::to_string(s[0]) + "x" + std::to_string(s[1]));
        Kmatrix K = Kalloc(s[0], s[1]);
        ASSERT_NE(K, nullptr);
        std::set<float *> rows;
        for (int i = 0; i < s[0]; ++i) {
            ASSERT_NE(K[i], nullptr);
            rows.insert(K[i]);
            for (int j = 0; j < s[1]; ++j)
                EXPECT_EQ(K[i][j], 0.0f);
        }
        EXPECT_EQ(rows.size(), size_t(s[0])) << "no two rows share a block";
        // Every element can be written without touching another.
        for (int i = 0; i < s[0]; ++i)
            for (int j = 0; j < s[1]; ++j)
                K[i][j] = float(i * 1000 + j);
        for (int i = 0; i < s[0]; ++i)
            for (int j = 0; j < s[1]; ++j)
                EXPECT_EQ(K[i][j], float(i * 1000 + j));
        Kfree(s[0], K);
    }
}

TEST(Kalloc, NoRowsIsNotExhaustedMemory) {
    // 2026-12-10: a table of no rows but long rows (the constrained rows of a
    // large structure without constraints) came back null, as if memory ran out.
    for (int cols : {4, 20000}) {
        Kmatrix K = Kalloc(0, cols);
        EXPECT_NE(K, nullptr) << cols << " columns";
        Kfree(0, K);
    }
}

TEST(Kalloc, NoColumnsGivesValidEmptyRows) {
    Kmatrix K = Kalloc(3, 0);
    ASSERT_NE(K, nullptr);
    Kfree(3, K);
}

// ---------------------------------------------------------------------------
// out_ddn
// ---------------------------------------------------------------------------

TEST(OutDdn, OneLinePerNode) {
    struct Case {
        const char *label;
        std::vector<float> pairs;
        int nn;
        std::string out;
    } cases[] = {
        {"worked example",
         {0, 0, 1.5f, -0.00002f},
         2,
         "\t0\t0\t# node 1\n\t1.5\t-2e-05\t# node 2\n"},
        {"no nodes", {1, 2}, 0, ""},
        {"six digits, -0, 1e-05",
         {1234567, -0.0f, 0.00001f, 0.1f},
         2,
         "\t1.23457e+06\t-0\t# node 1\n\t1e-05\t0.1\t# node 2\n"},
        {"only the first nn pairs", {1, 2, 3, 4, 5, 6}, 1, "\t1\t2\t# node 1\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        SioRun r = sio_run("", [&] { out_ddn(c.nn, c.pairs.data()); });
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(OutDdn, LinesReadBackAsRecords) {
    const std::vector<float> pairs = {0.125f, -3, 1e-7f, 2.5e10f, -0.0f, 42};
    SioRun w = sio_run("", [&] { out_ddn(3, pairs.data()); });
    int n = -1;
    float_list back;
    SioRun r = sio_run(w.out + "B", [&] { EXPECT_EQ(in_ddn(&n, &back, 0), READ_OK); });
    EXPECT_EQ(n, 3);
    ASSERT_EQ(back.size(), pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i)
        EXPECT_EQ(g(back[i]), g(pairs[i])) << i;
    EXPECT_EQ(r.rest, "B");
}

// ---------------------------------------------------------------------------
// out_matrix
// ---------------------------------------------------------------------------

struct MatrixCase {
    const char *label;
    int rows, cols;
    std::vector<float> values; // row after row
    std::string out;
};

TEST(OutMatrix, OneLinePerRow) {
    const MatrixCase cases[] = {
        {"worked example", 1, 2, {0.5f, -1}, "\t0.5  -1  \n"},
        {"two rows", 2, 3, {1, 2, 3, 4, 5, 6}, "\t1  2  3  \n\t4  5  6  \n"},
        {"no rows", 0, 3, {}, ""},
        {"no columns", 2, 0, {}, "\t\n\t\n"},
        {"six digits, -0, 1e-05",
         1,
         4,
         {1234567, -0.0f, 0.00001f, 1.0f / 3},
         "\t1.23457e+06  -0  1e-05  0.333333  \n"},
        {"fresh table", 1, 2, {0, 0}, "\t0  0  \n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        Kmatrix K = Kalloc(c.rows, c.cols);
        ASSERT_NE(K, nullptr);
        for (int i = 0; i < c.rows; ++i)
            for (int j = 0; j < c.cols; ++j)
                K[i][j] = c.values[size_t(i * c.cols + j)];
        SioRun r = sio_run("", [&] { out_matrix(c.rows, c.cols, K); });
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        Kfree(c.rows, K);
    }
}

TEST(OutMatrix, RowsReadBackAsMatrixList) {
    Kmatrix K = Kalloc(2, 4);
    const float vals[2][4] = {{0.5f, -1, 0, 1e-5f}, {-0.0f, 3, 1234567, 7}};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j)
            K[i][j] = vals[i][j];
    SioRun w = sio_run("", [&] { out_matrix(2, 4, K); });
    Kmatrix B = nullptr;
    SioRun r = sio_run(w.out + "# next list\nD", [&] {
        prgcpy = "zelk";
        EXPECT_EQ(in_matrizB(2, 2, &B, 0), 0);
    });
    ASSERT_NE(B, nullptr);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(g(B[i][j]), g(vals[i][j])) << i << "," << j;
    EXPECT_EQ(r.rest, "D");
    Kfree(2, K);
    Kfree(2, B);
}

} // namespace

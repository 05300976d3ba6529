// Equation numbering and the bar kernel, on one bar from (0, 0) to (3, 4):
// L^2 = 25, L = 5, direction cosines 0.6 and 0.8.
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "analysis.h"
#include "sio_capture.h"

namespace {

TEST(Numeq, NumbersFreeCodesUpAndConstrainedCodesDown) {
    struct Case {
        std::vector<int> in, out;
        int result;
    } cases[] = {
        {{0, 1, 0, 0, 1, 1}, {0, -1, 1, 2, -2, -3}, 3},
        {{1, 2, -5}, {-1, -2, -3}, 0}, // any non-zero code counts as constrained
        {{0, 0, 0}, {0, 1, 2}, 3},
        {{1, 0, 0, 7}, {-1, 0, 1, -2}, 2},
    };
    for (auto &c : cases) {
        std::vector<int> codes = c.in;
        EXPECT_EQ(numeq(codes.data(), int(codes.size())), c.result);
        EXPECT_EQ(codes, c.out);
    }
    int untouched[2] = {1, 0};
    EXPECT_EQ(numeq(untouched, 0), 0);
    EXPECT_EQ(numeq(untouched, -3), 0);
    EXPECT_EQ(untouched[0], 1);
    EXPECT_EQ(untouched[1], 0);
}

// One bar, section value 0.5, modulus 250: EA = 125, EA/L^3 = 1.
class Kernel : public ::testing::Test {
  protected:
    void SetUp() override {
        zelk_reset();
        nn = 2;
        nb = 1;
        ns = 1;
        nm = 1;
        cdn = {0, 0, 3, 4};
        ndb = {1, 2};
        sb = {1};
        As = {0.5f};
        ms = {1};
        E = {250};
        QoSs = {0.0};
    }
    void TearDown() override { zelk_reset(); }

    // Runs one kernel call, returning its result and what it printed.
    int call(int mode, float block[4], std::string *out) {
        int r = -1;
        SioRun run = sio_run("", [&] { r = barra(mode, 0, block); });
        *out = run.out;
        return r;
    }

    void strict(float section, float area, float strain) {
        Destricto = 1;
        As = {section};
        Aest = {area};
        epsest = {strain};
    }
};

TEST_F(Kernel, StiffnessBlockAndBarLine) {
    float k[4] = {};
    std::string out;
    EXPECT_EQ(call(BARRA_STIFFNESS, k, &out), 0);
    EXPECT_EQ(out, "# bar 1: Lx= 3; Ly= 4; EA= 125.\n");
    EXPECT_EQ(k[0], 9.0f);
    EXPECT_EQ(k[1], 12.0f);
    EXPECT_EQ(k[2], 12.0f);
    EXPECT_EQ(k[3], 16.0f);
}

TEST_F(Kernel, StiffnessUnderStrictSizingUsesUnitArea) {
    strict(-100.0f, 1.0f, 0.0f);
    float k[4] = {};
    std::string out;
    EXPECT_EQ(call(BARRA_STIFFNESS, k, &out), 0);
    EXPECT_EQ(out, "# bar 1: Lx= 3; Ly= 4; EA= 250.\n"); // the modulus alone
    EXPECT_EQ(k[0], 18.0f);
    EXPECT_EQ(k[1], 24.0f);
    EXPECT_EQ(k[3], 32.0f);
}

TEST_F(Kernel, StrainAndExertionWithStressVolumes) {
    float u[4] = {0, 0, 0.375f, 0.5f};
    std::string out;
    EXPECT_EQ(call(BARRA_STRAIN, u, &out), 0);
    EXPECT_EQ(out, "0.125 # bar 1 cross-section 0.5\n");
    EXPECT_EQ(call(BARRA_EXERTION, u, &out), 0);
    EXPECT_EQ(out, "15.625 # bar 1 with cross-section 0.5 (def:0.125, E:250)\n");
    EXPECT_EQ(u[2], 0.375f); // the displacements are read only
    EXPECT_EQ(QoS, 78.125);
    EXPECT_EQ(NoM, 78.125);
    EXPECT_EQ(QoSt, 78.125);
    EXPECT_EQ(QoSc, 0.0);
    EXPECT_EQ(QoSs[0], 78.125);
    EXPECT_EQ(QoSh, 28.125);
    EXPECT_EQ(QoSv, 50.0);
}

TEST_F(Kernel, CompressionGoesToTheCompressionVolume) {
    float u[4] = {0.375f, 0.5f, 0, 0};
    std::string out;
    call(BARRA_EXERTION, u, &out);
    EXPECT_EQ(out, "-15.625 # bar 1 with cross-section 0.5 (def:-0.125, E:250)\n");
    EXPECT_EQ(QoSc, 78.125);
    EXPECT_EQ(QoSt, 0.0);
    EXPECT_EQ(NoM, -78.125);
    EXPECT_EQ(QoSh, 28.125); // magnitudes, whatever the sign
    EXPECT_EQ(QoSv, 50.0);
}

TEST_F(Kernel, StrainRowIsDirectionOverLength) {
    float row[4] = {};
    std::string out;
    EXPECT_EQ(call(BARRA_STRAIN_ROW, row, &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(row[2], 3.0f / 25.0f);
    EXPECT_EQ(row[3], 4.0f / 25.0f);
    EXPECT_EQ(row[0], -row[2]);
    EXPECT_EQ(row[1], -row[3]);
    char text[64];
    std::snprintf(text, sizeof text, "%g %g %g %g", double(row[0]), double(row[1]), double(row[2]),
                  double(row[3]));
    EXPECT_STREQ(text, "-0.12 -0.16 0.12 0.16");
}

TEST_F(Kernel, ZeroLengthBarFailsInEveryModeAndLeavesTheBlock) {
    for (auto coords : {std::vector<float>{1, 2, 1, 2}, std::vector<float>{0, 0, 1e-23f, 0}}) {
        cdn = coords; // the same point, or two points whose squared distance underflows
        for (int mode = 0; mode <= 5; mode++) {
            for (int dbg = 0; dbg <= 1; dbg++) {
                debug = dbg;
                float block[4] = {7, 7, 7, 7};
                std::string out;
                EXPECT_EQ(call(mode, block, &out), 1) << "mode " << mode;
                EXPECT_EQ(out, dbg ? "#b1: ni=1 nf =2\n# barra: null length in bar 1\n" : "");
                for (float x : block)
                    EXPECT_EQ(x, 7.0f);
            }
        }
    }
    EXPECT_EQ(QoS, 0.0);
}

TEST_F(Kernel, UnknownModeFailsAfterTheDebugLine) {
    debug = 1;
    float block[4] = {};
    std::string out;
    EXPECT_EQ(call(5, block, &out), 1);
    EXPECT_EQ(out, "#b1: ni=1 nf =2\n");
    EXPECT_EQ(call(-1, block, &out), 1);
}

TEST_F(Kernel, StrictSizingPrintsOnlyInTheFinalCycle) {
    strict(-100.0f, 0.3125f, 0.0f);
    float u[4] = {0, 0, 0.375f, 0.5f};
    std::string out;
    EXPECT_EQ(call(BARRA_STRAIN, u, &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(epsest[0], 0.125f); // stored for the next resize all the same
    EXPECT_EQ(call(BARRA_EXERTION, u, &out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(QoS, 0.0);

    Convergencia = 1;
    EXPECT_EQ(call(BARRA_STRAIN, u, &out), 0);
    EXPECT_EQ(out, "0.125 # bar 1 cross-section 0.3125\n"); // the bar's own area
    EXPECT_EQ(call(BARRA_EXERTION, u, &out), 0);
    EXPECT_EQ(out, "9.76562 # bar 1 with cross-section 0.3125 (def:0.125, E:250)\n");
    EXPECT_EQ(QoS, 48.828125);
}

TEST_F(Kernel, ResizeScalesTheAreaByStressOverAllowableStress) {
    strict(-100.0f, 1.0f, 0.125f);
    debug = 1;
    float k[4] = {};
    std::string out;
    EXPECT_EQ(call(BARRA_RESIZE, k, &out), 0);
    EXPECT_EQ(out, "#b1: ni=1 nf =2\n"
                   "bar 1: stress=31.25; allowable stress=100; strain=0.125\n"
                   "bar 1: cross-section=0.3125<>1; convergence=0\n");
    EXPECT_EQ(Aest[0], 0.3125f);
    EXPECT_EQ(k[0], 5.625f);
    EXPECT_EQ(k[1], 7.5f);
    EXPECT_EQ(k[2], 7.5f);
    EXPECT_EQ(k[3], 10.0f);
}

TEST_F(Kernel, ResizeConvergenceRules) {
    struct Case {
        const char *what;
        float modulus, section, area, strain;
        float new_area;
        int flag;
    } cases[] = {
        // stress 0.025 lies below a thousandth of 100: the area stays
        {"low stress", 250, -100, 1, 0.0001f, 1, 1},
        // stress exactly 1 = 0.001 * 1000 is not below it: rescaled to a thousandth
        {"stress at the threshold", 256, -1000, 1, 0.00390625f, 0.001f, 0},
        // stress equal to the allowable stress: unchanged area converges
        {"fully stressed", 250, -100, 0.5f, 0.4f, 0.5f, 1},
        // tiny new areas converge below 2^-23 (1.1e-7 would not if the bound were 1e-7)
        {"below 2^-23", 250, -100, 2.2e-7f, 0.2f, 1.1e-7f, 1},
        {"above 2^-23", 250, -100, 2.4e-7f, 0.2f, 1.2e-7f, 0},
        // a positive section value is a negative allowable stress: negative area, converged
        {"negative allowable stress", 250, 100, 1, 0.125f, -0.3125f, 1},
    };
    for (auto &c : cases) {
        E = {c.modulus};
        strict(c.section, c.area, c.strain);
        float k[4] = {};
        std::string out;
        EXPECT_EQ(call(BARRA_RESIZE, k, &out), c.flag) << c.what;
        EXPECT_FLOAT_EQ(Aest[0], c.new_area) << c.what;
        EXPECT_EQ(out, "") << c.what;
    }
}

TEST_F(Kernel, ResizeRelativeChangeBound) {
    // New area A' = A * stress / 100 with stress = 250 * strain; change 2|A'-A|/(A+A').
    struct Case {
        float strain;
        int flag;
    } cases[] = {
        {0.400016f, 1}, // A' = 1.00004: change 4e-5 < 1e-4
        {0.400048f, 0}, // A' = 1.00012: change 1.2e-4
    };
    for (auto &c : cases) {
        strict(-100.0f, 1.0f, c.strain);
        float k[4] = {};
        std::string out;
        EXPECT_EQ(call(BARRA_RESIZE, k, &out), c.flag) << c.strain;
    }
}

} // namespace

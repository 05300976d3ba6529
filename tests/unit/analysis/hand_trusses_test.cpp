// Whole runs of zelk on trusses whose bar forces and reactions were computed
// by hand (method of joints); the N and R lists of the output must agree.
// Also the driver's state: repeated runs in one process, the missing name.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "analysis.h"
#include "sio_capture.h"
#include "zelk_run.h"

namespace {

struct Reaction {
    int node, axis;
    double value;
};

struct Results {
    std::vector<double> forces;
    std::vector<Reaction> reactions;
};

// Reads the rows of the last N list and the last R list of a result text.
Results parse(const std::string &out) {
    Results r;
    std::istringstream in(out);
    std::string line;
    enum { none, forces, reactions } list = none;
    while (std::getline(in, line)) {
        if (line == "N") {
            list = forces;
            r.forces.clear();
            continue;
        }
        if (line.rfind("R\t", 0) == 0) {
            list = reactions;
            r.reactions.clear();
            line = line.substr(1);
        }
        if (list == forces) {
            double f;
            if (line.find("# bar") != std::string::npos &&
                std::sscanf(line.c_str(), "%lf", &f) == 1)
                r.forces.push_back(f);
            else
                list = none;
        } else if (list == reactions) {
            Reaction x;
            if (std::sscanf(line.c_str(), "\t%d\t%d\t%lf", &x.node, &x.axis, &x.value) == 3)
                r.reactions.push_back(x);
            else
                list = none;
        }
    }
    return r;
}

// Force agreement: printed with six digits, solved in single precision.
void expect_near(double got, double want, const std::string &what) {
    EXPECT_NEAR(got, want, 1e-4 * std::fabs(want) + 1e-4) << what;
}

struct HandTruss {
    const char *name;
    const char *input;
    std::vector<double> forces;
    std::vector<Reaction> reactions; // printed with three digits ("% .2e")
};

const HandTruss trusses[] = {
    {"triangle", // 10 down at the apex; rafters 3-4-5
     "C 0 0  8 0  4 3\nB 1 2 1  1 3 1  2 3 1\nS 1 2\nM 100\nV 1 1 0  1 2 0  2 2 0\nQ 3 2 -10\n",
     {20.0 / 3, -25.0 / 3, -25.0 / 3},
     {{1, 1, 0}, {1, 2, 5}, {2, 2, 5}}},
    {"king-post roof", // ridge 10 down and 4 sideways, ceiling 5 down on the post
     "C 0 0  6 0  12 0  6 4.5\nB 1 2 1  2 3 1  1 4 2  4 3 2  2 4 1\nS 1 0.015  1 0.02\n"
     "M 1.1e7\nV 1 1 0  1 2 0  3 2 0\nQ 4 2 -10  2 2 -5  4 1 4\n",
     {12, 12, -10, -15, 5},
     {{1, 1, -4}, {1, 2, 6}, {3, 2, 9}}},
    {"wall cantilever", // two panels off a wall, 12 down at the tip
     "C 0 0  0 3  4 0  4 3  8 0\nB 1 3 1  3 5 1  2 4 1  3 4 1  2 3 1  4 5 1\nS 1 0.0015\n"
     "M 2.1e8\nV 1 1 0  1 2 0  2 1 0  2 2 0\nQ 5 2 -12\n",
     {-32, -16, 16, -12, 20, 20},
     {{1, 1, 32}, {1, 2, 0}, {2, 1, -32}, {2, 2, 12}}},
    {"Pratt bridge", // four panels, 10 down at each inner bottom node
     "C 0 0  4 0  8 0  12 0  16 0  4 3  8 3  12 3\n"
     "B 1 2 1  2 3 1  3 4 1  4 5 1  6 7 1  7 8 1  1 6 1  8 5 1\n"
     "  2 6 2  3 7 2  4 8 2  6 3 2  8 3 2\n"
     "S 1 0.002  1 0.001\nM 2.1e8\nV 1 1 0  1 2 0  5 2 0\nQ 2 2 -10  3 2 -10  4 2 -10\n",
     {20, 20, 20, 20, -80.0 / 3, -80.0 / 3, -25, -25, 10, 0, 10, 25.0 / 3, 25.0 / 3},
     {{1, 1, 0}, {1, 2, 15}, {5, 2, 15}}},
    {"Pratt bridge sized strictly", // determinate: the same forces at any areas
     "C 0 0  400 0  800 0  1200 0  1600 0  400 300  800 300  1200 300\n"
     "B 1 2 1  2 3 1  3 4 1  4 5 1  6 7 2  7 8 2  1 6 2  8 5 2\n"
     "  2 6 1  3 7 1  4 8 1  6 3 1  8 3 1\n"
     "S 1 -16  1 -10\nM 21000\nV 1 1 0  1 2 0  5 2 0\nQ 2 2 -10  3 2 -10  4 2 -10\n",
     {20, 20, 20, 20, -80.0 / 3, -80.0 / 3, -25, -25, 10, 0, 10, 25.0 / 3, 25.0 / 3},
     {{1, 1, 0}, {1, 2, 15}, {5, 2, 15}}},
};

TEST(HandTrusses, ForcesAndReactionsMatchTheMethodOfJoints) {
    for (const auto &t : trusses) {
        SioRun run = run_zelk(t.input, {"zelk"});
        ASSERT_EQ(run.status, 0) << t.name << "\n" << run.err;
        // Right solutions pass the check of equilibrium without a warning.
        EXPECT_EQ(run.err.find(": warning: "), std::string::npos) << t.name << "\n" << run.err;
        Results r = parse(run.out);
        ASSERT_EQ(r.forces.size(), t.forces.size()) << t.name;
        for (std::size_t i = 0; i < t.forces.size(); i++)
            expect_near(r.forces[i], t.forces[i],
                        std::string(t.name) + " bar " + std::to_string(i + 1));
        ASSERT_EQ(r.reactions.size(), t.reactions.size()) << t.name;
        for (std::size_t i = 0; i < t.reactions.size(); i++) {
            EXPECT_EQ(r.reactions[i].node, t.reactions[i].node) << t.name;
            EXPECT_EQ(r.reactions[i].axis, t.reactions[i].axis) << t.name;
            EXPECT_NEAR(r.reactions[i].value, t.reactions[i].value,
                        0.01 * std::fabs(t.reactions[i].value) + 1e-3)
                << t.name << " reaction " << i + 1;
        }
    }
}

TEST(HandTrusses, StrictSizingGivesForceOverAllowableStress) {
    SioRun run = run_zelk(trusses[4].input, {"zelk"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "\n# Warning: strict sizing of cross-sections\n");
    EXPECT_NE(run.out.find("cicle 2\n"), std::string::npos);
    EXPECT_EQ(run.out.find("cicle 3\n"), std::string::npos);
    // Final areas: |N| over 16 (tension members) or 10 (chords and posts);
    // the zero-force vertical keeps its unit area.
    const double areas[] = {1.25, 1.25,  1.25, 1.25,  80.0 / 30, 80.0 / 30, 2.5,
                            2.5,  0.625, 1,    0.625, 25.0 / 48, 25.0 / 48};
    ASSERT_EQ(Aest.size(), std::size(areas));
    for (std::size_t i = 0; i < Aest.size(); i++)
        EXPECT_NEAR(double(Aest[i]), areas[i], 1e-5 * areas[i]) << "bar " << i + 1;
}

TEST(Driver, RepeatedRunsInOneProcessAgree) {
    const std::string input = trusses[3].input;
    SioRun plain = run_zelk(input, {"zelk"});
    SioRun other = run_zelk(input, {"zelk", "-c", "3", "-b", "-q"});
    SioRun again = run_zelk(input, {"zelk"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(other.status, 0);
    EXPECT_EQ(again.out, plain.out);
    EXPECT_EQ(again.err, plain.err);
}

TEST(Driver, NoWordsAtAllUsesTheBuiltInName) {
    SioRun run = sio_run(trusses[0].input, [] {
        zelk_reset();
        char *argv[] = {nullptr};
        zelk_main(0, argv);
    });
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\n# zelk RESULTS\n"), std::string::npos);
}

TEST(Driver, InvocationNameIsReduced) {
    SioRun run = run_zelk(trusses[0].input, {"C:\\tools\\truss.exe"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\n# truss RESULTS\n"), std::string::npos);
    SioRun usage = run_zelk("", {"/opt/bin/zelk.v2", "-h"});
    EXPECT_EQ(usage.status, 0);
    EXPECT_EQ(usage.out.rfind("zelk (float version)\nUsage: zelk [-options]\n", 0), 0u);
    EXPECT_EQ(usage.rest, ""); // nothing was there to read
}

TEST(Driver, UsageLeavesTheInputUnread) {
    SioRun run = run_zelk(trusses[0].input, {"zelk", "-x"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.rest, trusses[0].input);
    EXPECT_EQ(run.out.rfind("unknown option: -x\nzelk (float version)\n", 0), 0u);
}

} // namespace

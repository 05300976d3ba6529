// The check of the solution after the solve: the estimate of the error of
// the displacements and bar forces, the pivots named in a spoiled answer,
// and the runs that stay silent. The spoiled trusses are the smallest that
// show each way a check of the reactions alone let a wrong answer through.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "accuracy.h"
#include "analysis.h"
#include "zelk_run.h"

namespace {

struct Support {
    int node, axis;
    double value;
};
struct Load {
    int node, axis;
    double value;
};

// A mast of `panels` square-braced panels 1 high and `width` wide: nodes
// 2i+1 (left) and 2i+2 (right) at height i; both base nodes pinned unless
// `supports` says otherwise; modulus 2e8, area 1.
std::string mast(int panels, double width, const std::vector<Load> &loads,
                 std::vector<Support> supports = {{1, 1, 0}, {1, 2, 0}, {2, 1, 0}, {2, 2, 0}}) {
    std::ostringstream s;
    s.precision(9);
    s << "C\n";
    for (int i = 0; i <= panels; i++)
        s << 0 << ' ' << i << '\n' << width << ' ' << i << '\n';
    s << "B\n";
    for (int i = 0; i <= panels; i++)
        s << 2 * i + 1 << ' ' << 2 * i + 2 << " 1\n";
    for (int i = 0; i < panels; i++)
        s << 2 * i + 1 << ' ' << 2 * i + 3 << " 1\n"
          << 2 * i + 2 << ' ' << 2 * i + 4 << " 1\n"
          << 2 * i + 1 << ' ' << 2 * i + 4 << " 1\n";
    s << "S 1 1\nM 2e8\nV\n";
    for (const Support &v : supports)
        s << v.node << ' ' << v.axis << ' ' << v.value << '\n';
    if (!loads.empty()) s << "Q\n";
    for (const Load &q : loads)
        s << q.node << ' ' << q.axis << ' ' << q.value << '\n';
    return s.str();
}

// A Pratt bridge of `panels` panels 4 long and `depth` deep: bottom node
// 2i+1, top node 2i+2; pinned at node 1, on a roller at the last bottom node
// (moved down by `settlement`); statically determinate; modulus `E`, area 1.
std::string bridge(int panels, double depth, double E, double settlement,
                   const std::vector<Load> &loads) {
    std::ostringstream s;
    s.precision(9);
    s << "C\n";
    for (int i = 0; i <= panels; i++)
        s << 4 * i << " 0\n" << 4 * i << ' ' << depth << '\n';
    s << "B\n";
    for (int i = 0; i < panels; i++) {
        s << 2 * i + 1 << ' ' << 2 * i + 3 << " 1\n" << 2 * i + 2 << ' ' << 2 * i + 4 << " 1\n";
        if (2 * i < panels)
            s << 2 * i + 1 << ' ' << 2 * i + 4 << " 1\n";
        else
            s << 2 * i + 2 << ' ' << 2 * i + 3 << " 1\n";
    }
    for (int i = 0; i <= panels; i++)
        s << 2 * i + 1 << ' ' << 2 * i + 2 << " 1\n";
    s << "S 1 1\nM " << E << "\nV\n1 1 0\n1 2 0\n"
      << 2 * panels + 1 << " 2 " << -settlement << '\n';
    if (!loads.empty()) s << "Q\n";
    for (const Load &q : loads)
        s << q.node << ' ' << q.axis << ' ' << q.value << '\n';
    return s.str();
}

std::vector<Load> bottom_loads(int panels, double value) {
    std::vector<Load> q;
    for (int i = 1; i < panels; i++)
        q.push_back({2 * i + 1, 2, value});
    return q;
}

const char pendulum[] = "C 0 0 3 0 3 4 4.1 4.7\nB 1 2 1 2 3 1 1 3 1 3 4 1\nS 1 1\nM 1000\n"
                        "V 1 1 0 1 2 0 2 2 0\nQ 3 1 6\n";
const char no_load[] = "\nzelk: warning: P and Q lists missing: we proceed anyway\n";
const char spoiled[] = "\nzelk: warning: spoiled: displacements off by about ";

struct Case {
    const char *name;
    std::string input;
    std::vector<std::string> args;
    std::string err; // standard error, whole, or its start when `prefix`
    bool prefix;
};

TEST(AccuracyCheck, WarnsOnSpoiledAnswersOnly) {
    std::vector<Case> cases = {
        // Loads that do not bend the truss: the sums along x and y balance.
        {"slender mast, axial load", mast(6, 0.05, {{13, 2, -1}, {14, 2, -1}}), {}, spoiled, true},
        // A moved support: the reactions dwarf the load.
        {"slender mast, lateral load, base settled by 1e-6",
         mast(6, 0.02, {{13, 1, 1}}, {{1, 1, 0}, {1, 2, 0}, {2, 1, 0}, {2, 2, -1e-6}}),
         {},
         spoiled,
         true},
        // A load on a supported degree of freedom strains nothing.
        {"slender bridge, large load on the pinned support",
         bridge(10, 0.2, 2e8, 0,
                [] {
                    auto q = bottom_loads(10, -1);
                    q.push_back({1, 2, -1000});
                    return q;
                }()),
         {},
         spoiled,
         true},
        // A mechanism: node 4 hangs from one bar.
        {"pendulum",
         pendulum,
         {},
         "\nzelk: warning: spoiled: displacements off by about 438%, bar forces by 0.00068%\n"
         "\nzelk: warning: node 4, axis 2: pivot -1.9e-06: a mechanism, or rounding lost it\n"
         "\nzelk: warning: a bar or a support may be missing where a pivot is lost\n",
         false},
        // Right answers: a determinate truss whose support settles has only
        // rounding noise for bar forces; stocky trusses; opposite loads on a
        // slender mast, right past negative pivots.
        {"determinate bridge settled, no load", bridge(6, 3, 2e6, 0.01, {}), {}, no_load, false},
        {"stocky mast, axial and lateral loads",
         mast(6, 1, {{13, 2, -1}, {14, 1, 1}}),
         {},
         "",
         false},
        {"bridge, bottom loads", bridge(10, 3, 2e8, 0, bottom_loads(10, -1)), {}, "", false},
        {"slender mast, opposite loads at the top",
         mast(20, 0.02, {{41, 1, -1}, {42, 1, 1}}),
         {},
         "",
         false},
        // Nothing solved, nothing checked.
        {"input check only", mast(6, 0.05, {{13, 2, -1}}), {"-t", "-s"}, "", false},
        {"zero pivot",
         "C 0 0 1 0\nB 1 2 1\nS 1 1\nM 1\nV 1 1 0 1 2 0\nQ 2 1 1\n",
         {},
         "\nzelk: there is no solution! (function `resuelve'\n",
         false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> words = {"zelk"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        const SioRun r = run_zelk(c.input, words);
        if (c.prefix)
            EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
        else
            EXPECT_EQ(r.err, c.err);
    }
}

// Under strict sizing the check follows the last cycle, whose results are
// printed; with -c 0 the unit-area solve.
TEST(AccuracyCheck, FollowsTheSolvePrinted) {
    const std::string sized = [] {
        std::string s = bridge(4, 0.03, 2e8, 0, bottom_loads(4, -1));
        return s.replace(s.find("S 1 1"), 5, "S 1 -100");
    }();
    const SioRun unit = run_zelk(sized, {"zelk", "-c", "0"});
    const double unit_estimate = last_accuracy.displacement;
    const SioRun cycle = run_zelk(sized, {"zelk", "-c", "1"});
    EXPECT_NE(unit_estimate, last_accuracy.displacement);
    EXPECT_NE(unit.err.find(spoiled), std::string::npos) << unit.err;
    EXPECT_NE(cycle.err.find(spoiled), std::string::npos) << cycle.err;
}

// Bar forces of the last N list of an output, in bar order.
std::vector<double> forces(const std::string &out) {
    std::vector<double> f;
    std::istringstream in(out);
    std::string line;
    bool list = false;
    while (std::getline(in, line)) {
        if (line == "N") {
            list = true;
            f.clear();
        } else if (list && line.find("# bar") != std::string::npos) {
            f.push_back(std::stod(line));
        } else {
            list = false;
        }
    }
    return f;
}

// The axially loaded mast's exact bar forces: each leg carries -1, every
// other bar nothing (the truss above its base is statically determinate).
// The estimate follows the true error, right or spoiled.
TEST(AccuracyCheck, EstimateFollowsTheTrueError) {
    for (double width : {1.0, 0.05}) {
        SCOPED_TRACE(width);
        const int panels = 6;
        const SioRun r = run_zelk(
            mast(panels, width, {{2 * panels + 1, 2, -1}, {2 * panels + 2, 2, -1}}), {"zelk"});
        ASSERT_TRUE(last_accuracy.estimated);
        const std::vector<double> N = forces(r.out);
        ASSERT_EQ(N.size(), std::size_t(4 * panels + 1));
        double truth = 0;
        for (std::size_t b = 0; b < N.size(); b++) {
            // Bars: the base, then per panel the left leg, the right leg, the
            // diagonal; the horizontals of the panels come first.
            const bool leg = b > std::size_t(panels) && (b - panels - 1) % 3 < 2;
            truth = std::max(truth, std::fabs(N[b] - (leg ? -1.0 : 0.0)));
        }
        if (width < 1) {
            EXPECT_GT(truth, 0.02); // spoiled
            EXPECT_GT(last_accuracy.force, truth / 2);
            EXPECT_LT(last_accuracy.force, truth * 2);
        } else {
            EXPECT_LT(truth, 1e-5); // right, to the printed digits
            EXPECT_LT(last_accuracy.force, 1e-5);
        }
    }
}

} // namespace

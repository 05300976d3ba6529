// The check of the solution after the solve: the estimate of the error of
// the displacements and bar forces, the pivots named in a spoiled answer,
// and the runs that stay silent. The spoiled trusses are the smallest that
// show each way a check of the reactions alone let a wrong answer through.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "accuracy.h"
#include "analysis.h"
#include "kernel_sets.h"
#include "test_switches.h"
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

// What a case's standard error must be: the whole of it, its start, or any
// text without "spoiled" in it.
enum Expect { WHOLE, PREFIX, NOT_SPOILED };

struct Case {
    const char *name;
    std::string input;
    std::vector<std::string> args;
    std::string err; // standard error, whole, or its start
    Expect expect;
};

// A Pratt bridge of `panels` panels 1 long and 1 deep, bottom node 2i+1 and
// top node 2i+2, diagonals rising to mid-span then falling, with diagonal
// `missing` (0-based panel; -1: none) left out; pinned at node 1, on a
// roller at the last bottom node; modulus 2e5, area 1.
std::string unit_bridge(int panels, int missing, const std::vector<Load> &loads) {
    std::ostringstream s;
    s << "C\n";
    for (int i = 0; i <= panels; i++)
        s << i << " 0 " << i << " 1\n";
    s << "B\n";
    for (int i = 0; i < panels; i++) {
        s << 2 * i + 1 << ' ' << 2 * i + 3 << " 1 " << 2 * i + 2 << ' ' << 2 * i + 4 << " 1\n";
        if (i == missing) continue;
        if (2 * i < panels)
            s << 2 * i + 1 << ' ' << 2 * i + 4 << " 1\n";
        else
            s << 2 * i + 2 << ' ' << 2 * i + 3 << " 1\n";
    }
    for (int i = 0; i <= panels; i++)
        s << 2 * i + 1 << ' ' << 2 * i + 2 << " 1\n";
    s << "S 1 1\nM 200000\nV 1 1 0 1 2 0 " << 2 * panels + 1 << " 2 0\nQ\n";
    for (const Load &q : loads)
        s << q.node << ' ' << q.axis << ' ' << q.value << '\n';
    return s.str();
}

// Twelve pendulums hanging from node 1, each bar's direction one whose
// stiffness across it rounds to a negative pivot.
std::string pendulums() {
    std::ostringstream s;
    s << "C 0 0";
    for (const char *x : {"1.03", "1.05", "1.09", "1.1", "1.11", "1.13", "1.18", "1.19", "1.23",
                          "1.27", "1.29", "1.3"})
        s << "  " << x << " 0.7";
    s << "\nB";
    for (int k = 2; k <= 13; k++)
        s << " 1 " << k << " 1";
    s << "\nS 1 1\nM 1000\nV 1 1 0 1 2 0\nQ";
    for (int k = 2; k <= 13; k++)
        s << ' ' << k << " 1 1";
    s << '\n';
    return s.str();
}

// The pieces, one after the other (appended, not added: g++ 12 warns on a
// chain of string additions).
std::string cat(std::initializer_list<std::string> pieces) {
    std::string s;
    for (const std::string &p : pieces)
        s += p;
    return s;
}

std::string lost(int node, const char *pivot) {
    return cat({"\nzelk: warning: node ", std::to_string(node), ", axis 2: pivot ", pivot,
                ": a mechanism, or rounding lost it\n"});
}

const char missing_bar[] = "\nzelk: warning: a bar or a support may be missing where a pivot is lost\n";

TEST(AccuracyCheck, WarnsOnSpoiledAnswersOnly) {
    std::vector<Case> cases = {
        // Loads that do not bend the truss: the sums along x and y balance.
        {"slender mast, axial load", mast(6, 0.05, {{13, 2, -1}, {14, 2, -1}}), {}, spoiled, PREFIX},
        // A moved support: the reactions dwarf the load.
        {"slender mast, lateral load, base settled by 1e-6",
         mast(6, 0.02, {{13, 1, 1}}, {{1, 1, 0}, {1, 2, 0}, {2, 1, 0}, {2, 2, -1e-6}}),
         {},
         spoiled,
         PREFIX},
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
         PREFIX},
        // A stiff link's settlement would bring 4e8 into it; the real forces
        // are 10, and rounding the link's ends to single precision spoils them.
        {"roller on a settled stiff link, load 10",
         "C 0 0  4 0  2 1  4 -0.01\nB 1 2 1  2 3 1  1 3 1  2 4 2\nS 1 0.01  1 1\nM 2e8\n"
         "V 1 1 0  1 2 0  4 1 0  4 2 -0.01\nQ 3 2 -10\n",
         {},
         spoiled,
         PREFIX},
        {"settled roller, small load",
         "C 0 0  4 0  2 1\nB 1 2 1  2 3 1  1 3 1\nS 1 0.01\nM 2e8\nV 1 1 0  1 2 0  2 2 -0.01\n"
         "Q 3 2 -0.001\n",
         {},
         spoiled,
         PREFIX},
        // Mechanisms: node 4 hangs from one bar; a bridge without the
        // diagonal of its first panel, whose nodes 3 and 4 then sway.
        {"pendulum",
         pendulum,
         {},
         cat({"\nzelk: warning: spoiled: displacements off by about 438%, bar forces by 0.00068%\n",
              lost(4, "-1.9e-06"), missing_bar}),
         WHOLE},
        {"bridge without its first diagonal",
         unit_bridge(5, 0, {{3, 2, -1}, {5, 2, -1}, {7, 2, -1}, {9, 2, -1}}),
         {},
         "\nzelk: warning: spoiled: displacements off by about 100%, bar forces by 60%\n"
         "\nzelk: warning: node 4, axis 2: off the most (a mechanism moves here, if any)\n",
         WHOLE},
        // A mechanism that the loads do not move: a right answer, and a pivot
        // zero to rounding.
        {"bridge without its middle diagonal, loaded symmetrically",
         unit_bridge(3, 1, {{3, 2, -1}, {5, 2, -1}}),
         {},
         cat({"\nzelk: warning: node 8, axis 1: pivot 0.0078: a mechanism, or rounding lost it\n",
              missing_bar}),
         WHOLE},
        {"twelve pendulums",
         pendulums(),
         {},
         cat({"\nzelk: warning: spoiled: displacements off by about 82%, bar forces by 89%\n",
              lost(2, "-1.5e-05"), lost(3, "-3.1e-05"), lost(4, "-3.1e-05"), lost(5, "-1.5e-05"),
              lost(6, "-3.1e-05"), lost(7, "-1.5e-05"), lost(8, "-3.1e-05"), lost(9, "-3.1e-05"),
              lost(10, "-1.5e-05"), lost(11, "-1.5e-05"),
              "\nzelk: warning: 2 more pivots lost like these\n", missing_bar}),
         WHOLE},
        // Right answers: a determinate truss whose support settles has only
        // rounding noise for bar forces; stocky trusses; opposite loads on a
        // slender mast or pinching a long bridge, right past negative pivots.
        {"determinate bridge settled, no load", bridge(6, 3, 2e6, 0.01, {}), {}, no_load, WHOLE},
        {"stocky mast, axial and lateral loads",
         mast(6, 1, {{13, 2, -1}, {14, 1, 1}}),
         {},
         "",
         WHOLE},
        {"bridge, bottom loads", bridge(10, 3, 2e8, 0, bottom_loads(10, -1)), {}, "", WHOLE},
        {"slender mast, opposite loads at the top",
         mast(20, 0.02, {{41, 1, -1}, {42, 1, 1}}),
         {},
         "",
         NOT_SPOILED},
        {"long bridge pinched at mid-span",
         unit_bridge(600, -1, {{601, 2, 1}, {602, 2, -1}}),
         {},
         "",
         NOT_SPOILED},
        // Loads so small that every displacement underflows to zero: all of
        // the answer is lost, and the figure says so without an infinity.
        {"loads of 1e-40",
         bridge(4, 3, 2e8, 0, bottom_loads(4, -1e-40)),
         {},
         "\nzelk: warning: spoiled: displacements off by about 100%, bar forces by 100%\n",
         PREFIX},
        // Nothing solved, nothing checked; what stopped the solve is named.
        {"input check only", mast(6, 0.05, {{13, 2, -1}}), {"-t", "-s"}, "", WHOLE},
        {"zero pivot",
         "C 0 0 1 0\nB 1 2 1\nS 1 1\nM 1\nV 1 1 0 1 2 0\nQ 2 1 1\n",
         {},
         cat({"\nzelk: warning: node 2, axis 2: pivot 0: a mechanism, or rounding lost it\n",
              missing_bar, "\nzelk: there is no solution! (function `resuelve'\n"}),
         WHOLE},
        {"zero-length bar",
         "C 0 0 4 0 4 3\nB 1 2 1 3 3 1 1 3 1\nS 1 1\nM 100\nV 1 1 0 1 2 0 2 2 0\nQ 3 1 5\n",
         {},
         "\nzelk: warning: bar 2, from node 3 to node 3, has zero length\n"
         "\nzelk: there is no solution! (function `resuelve'\n",
         WHOLE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> words = {"zelk"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        const SioRun r = run_zelk(c.input, words);
        switch (c.expect) {
        case WHOLE:
            EXPECT_EQ(r.err, c.err);
            break;
        case PREFIX:
            EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
            break;
        case NOT_SPOILED:
            EXPECT_EQ(r.err.find("spoiled"), std::string::npos) << r.err;
            break;
        }
        EXPECT_EQ(r.err.find("inf%"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("nan%"), std::string::npos) << r.err;
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

// Every way of solving prints the same solution, and so gives the same
// check, bit for bit: the envelope, the full table and the plain loops, with
// every kernel set, on answers spoiled far past the threshold, near it, and
// right.
class AccuracyPaths : public KernelSetTest {};

TEST_P(AccuracyPaths, SameEstimateOnEveryPath) {
    // Sized strictly against an allowable stress so small that the areas of
    // the second cycle overflow: the full table, whatever the path.
    const std::string overflowing = [] {
        std::string s = mast(6, 0.05, {{13, 2, -1}, {14, 2, -1}});
        return s.replace(s.find("S 1 1"), 5, "S 1 -1e-45");
    }();
    const std::vector<Case> inputs = {
        {"slender mast, far past", mast(6, 0.05, {{13, 2, -1}, {14, 2, -1}}), {}, "", WHOLE},
        {"bridge of 30 panels, near", bridge(30, 3, 2e8, 0, bottom_loads(30, -1)), {}, "", WHOLE},
        {"bridge of 50 panels, near", bridge(50, 3, 2e8, 0, bottom_loads(50, -1)), {}, "", WHOLE},
        {"bridge without a diagonal", unit_bridge(40, 7, bottom_loads(40, -1)), {}, "", WHOLE},
        {"pendulum", pendulum, {}, "", WHOLE},
        {"stocky mast, right", mast(40, 1, {{81, 1, 1}}), {}, "", WHOLE},
        {"strict sizing, areas overflowing", overflowing, {"-c", "2"}, "", WHOLE},
    };
    struct Seen {
        accuracy_report acc;
        std::string err;
    };
    for (const Case &c : inputs) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> words = {"zelk"};
        words.insert(words.end(), c.args.begin(), c.args.end());
        auto run = [&](const std::string &input) {
            const SioRun r = run_zelk(input, words);
            return Seen{last_accuracy, r.err};
        };
        const std::string &input = c.input;
        test_switch.full_only = test_switch.plain_only = false;
        const Seen envelope = run(input);
        ASSERT_TRUE(envelope.acc.estimated);
        test_switch.full_only = true;
        const Seen full = run(input);
        test_switch.full_only = false;
        test_switch.plain_only = true;
        const Seen plain = run(input);
        for (const Seen *other : {&full, &plain}) {
            EXPECT_EQ(std::memcmp(&other->acc.displacement, &envelope.acc.displacement, sizeof(double)), 0)
                << other->acc.displacement << " vs " << envelope.acc.displacement;
            EXPECT_EQ(std::memcmp(&other->acc.force, &envelope.acc.force, sizeof(double)), 0)
                << other->acc.force << " vs " << envelope.acc.force;
            EXPECT_EQ(other->acc.worst, envelope.acc.worst);
            EXPECT_EQ(other->acc.lost_count, envelope.acc.lost_count);
            EXPECT_EQ(other->err, envelope.err);
        }
    }
}

INSTANTIATE_FOR_KERNEL_SETS(AccuracyPaths);

// Without its memory the check is skipped with a word: the results and the
// status stay those of the run with it, a spoiled one and a right one alike.
TEST(AccuracyCheck, WithoutItsMemoryTheRunGoesOn) {
    for (const std::string &input : {mast(6, 0.05, {{13, 2, -1}, {14, 2, -1}}),
                                     bridge(10, 3, 2e8, 0, bottom_loads(10, -1))}) {
        const SioRun checked = run_zelk(input, {"zelk"});
        test_switch.no_check_memory = true;
        const SioRun skipped = run_zelk(input, {"zelk"});
        test_switch.no_check_memory = false;
        EXPECT_FALSE(last_accuracy.estimated);
        EXPECT_EQ(skipped.out, checked.out);
        EXPECT_EQ(skipped.status, checked.status);
        EXPECT_EQ(skipped.err,
                  "\nzelk: warning: the solution was not checked: no memory for the check\n");
    }
}

} // namespace

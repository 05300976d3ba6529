// In-process runs of zelkad: what the case harness cannot reach (a start
// without any command-line word) and repeated runs in one process.
#include <gtest/gtest.h>

#include "sio_capture.h"
#include "zelkad.h"

namespace {

SioRun run(const std::string &input, std::vector<std::string> words) {
    std::vector<char *> argv;
    for (auto &w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    zelkad_reset();
    return sio_run(input, [&] { zelkad_main(int(words.size()), argv.data()); });
}

const char *const truss = "C 0 0 4 0 2 3\nB 1 3 1 2 3 1\nD 0 0 0 0 0.01 -0.02\n";
const char *const layers = "LAYER SET zelk_gi\n\nPLINE\n0,0\n2,3\n\nPLINE\n4,0\n2,3\n\n"
                           "LAYER SET zelk_ge\n\nPLINE\n0,0\n3,1\n\nPLINE\n4,0\n3,1\n\n";

} // namespace

TEST(ZelkadRun, WithoutAnyWordUsesItsOwnName) {
    SioRun r = run(truss, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, layers);
    EXPECT_EQ(r.err, "\nzelkad: warning: P and Q lists missing: we proceed anyway\n");
}

TEST(ZelkadRun, RepeatedRunsStartFromTheInitialState) {
    // A first run with options and a displaced layer must leave nothing behind.
    SioRun first = run(truss, {"/bin/zelkad", "-f", "0", "-i", "a", "-e", "b"});
    EXPECT_EQ(first.status, 0);
    SioRun second = run(truss, {"zelkad"});
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.out, layers);
    SioRun empty = run("", {"zelkad"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(empty.err, "\nzelkad: semantic error\n");
}

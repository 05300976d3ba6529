// Runs the whole zelk program in this process on an input text.
#pragma once

#include <string>
#include <vector>

#include "analysis.h"
#include "sio_capture.h"
#include "test_switches.h"

/// Runs zelk_main on `input` with the given words (the first is the name),
/// from a fresh analysis state but with the test's switches, and returns what
/// it wrote and its status.
inline SioRun run_zelk(const std::string &input, std::vector<std::string> words) {
    return sio_run(input, [&] {
        const test_switches steer = test_switch;
        zelk_reset();
        test_switch = steer;
        std::vector<char *> argv;
        for (auto &w : words)
            argv.push_back(w.data());
        argv.push_back(nullptr);
        zelk_main(int(words.size()), argv.data());
    });
}

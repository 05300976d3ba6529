// Runs library code on an input text that the test supplies, capturing what
// it writes on the bound output and error streams, and catching the end of
// the process that fin would cause.
#pragma once

#include <functional>
#include <string>

#include "structure_io.h"

struct SioRun {
    std::string out;  // what was written on the output stream
    std::string err;  // what was written on the error stream
    int status = -1;  // exit status when fin ended the run, else -1
    std::string rest; // the input not consumed when the code returned or ended
};

/// Resets the library state, binds `input` as the input stream, runs `fn` and
/// returns what it wrote. A call of fin inside `fn` ends `fn` with its status.
SioRun sio_run(const std::string &input, const std::function<void()> &fn);

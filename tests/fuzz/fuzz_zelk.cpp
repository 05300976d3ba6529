// Fuzz target: the analysis program, command line and standard input. The
// data is cut by split_command: a word count, the words (argv[0] first) and
// the input text. Its echo and results go to a sink. The analysis makes as
// many strict-sizing cycles as -c asks for, each a dense solve: the harness
// lowers larger limits to 20, so that a run that takes long shows a fault
// rather than a long request.
#include <cstdint>
#include <cstdlib>

#include "analysis.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzCommand cmd = split_command(data, size);
    for (size_t i = 1; i + 1 < cmd.words.size(); ++i)
        if (cmd.words[i].size() >= 2 && cmd.words[i][0] == '-' && cmd.words[i][1] == 'c' &&
            std::strtol(cmd.words[i + 1].c_str(), nullptr, 10) > 20) {
            cmd.words[i + 1] = "20";
            cmd.argv[i + 1] = cmd.words[i + 1].data();
        }
    run_program(cmd, zelk_reset, zelk_main);
    return 0;
}

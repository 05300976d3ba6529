// Fuzz target: the drawing-script program, command line and standard input. The
// data is cut by split_command: a word count, the words (argv[0] first) and
// the input text. Its script goes to a sink.
#include <cstdint>

#include "fuzz_common.h"
#include "zelkad.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzCommand cmd = split_command(data, size);
    run_program(cmd, zelkad_reset, zelkad_main);
    return 0;
}

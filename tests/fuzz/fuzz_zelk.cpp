// Fuzz target: the analysis program, command line and standard input. The
// data is cut by split_command: a word count, the words (argv[0] first) and
// the input text. Its echo and results go to a sink.
#include <cstdint>

#include "analysis.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    silence_stdio();
    FuzzCommand cmd = split_command(data, size);
    FILE *in = open_text(cmd.input);
    sio_reset();
    zelk_reset();
    sio_bind(in, sink(), sink());
    sio_exit = fuzz_exit;
    try {
        zelk_main(cmd.argc(), cmd.argv.data());
    } catch (const FuzzEnd &) {
    }
    std::fflush(stdout);
    std::fclose(in);
    sio_bind(stdin, nullptr, nullptr);
    return 0;
}

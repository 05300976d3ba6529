// Fuzz target: the drawing-script program, command line and standard input. The
// data is cut by split_command: a word count, the words (argv[0] first) and
// the input text. Its script goes to a sink.
#include <cstdint>

#include "fuzz_common.h"
#include "zelkad.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    silence_stdio();
    FuzzCommand cmd = split_command(data, size);
    FILE *in = open_text(cmd.input);
    sio_reset();
    zelkad_reset();
    sio_bind(in, sink(), sink());
    sio_exit = fuzz_exit;
    // Every end of the program passes through the process end, with status 0 or 1.
    int status = -1;
    try {
        zelkad_main(cmd.argc(), cmd.argv.data());
    } catch (const FuzzEnd &end) {
        status = end.status;
    }
    require(status == 0 || status == 1, "the program returned, or ended with another status");
    std::fflush(stdout);
    std::fclose(in);
    sio_bind(stdin, nullptr, nullptr);
    return 0;
}

// Fuzz target: the lexical layer. The first byte sets echo (bit 0), debug
// (bit 1) and the pattern of reads (bits 2-7); the rest is the input text.
// Reads numbers and skips blanks until the input ends, taking one character
// after every failed read the way the whole-input reader takes a list letter.
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "fuzz_common.h"
#include "structure_io.h"

int debug = 0;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const int flags = data[0];
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    FILE *in = open_text(text);
    sio_reset();
    sio_bind(in, sink(), sink());
    sio_exit = fuzz_exit;
    const int echo = flags & 1;
    debug = (flags >> 1) & 1;

    // Every round consumes at least one character or meets the end of input,
    // so the loop must end within the input's length.
    size_t rounds = 0;
    for (int op = flags >> 2;; op = (op * 5 + 1) & 63) {
        require(rounds++ <= text.size() + 1, "reads make no progress");
        int r;
        switch (op % 3) {
        case 0: {
            int x = 0x5a5a5a5a;
            r = in_int(&x, echo);
            require(r == READ_OK || x == 0x5a5a5a5a, "in_int wrote its target on a failed read");
            break;
        }
        case 1: {
            float x = 1234.5f;
            r = in_float(&x, echo);
            require(r == READ_OK || x == 1234.5f, "in_float wrote its target on a failed read");
            break;
        }
        default: {
            r = in_rem(echo);
            require(r == READ_OK || r == READ_EOF, "in_rem gave a status other than OK or EOF");
            if (r == READ_OK) {
                int c = std::getc(in);
                require(c != EOF && !std::isspace(c) && c != '#' && c != 'N' && c != 'n',
                        "in_rem left a blank, a comment or N/n next");
                continue;
            }
        }
        }
        require(r == READ_OK || r == READ_EOF || r == READ_NOT_NUMBER, "unknown read status");
        if (r == READ_EOF) break;
        if (r == READ_NOT_NUMBER && std::getc(in) == EOF) break;
    }
    std::fclose(in);
    sio_bind(stdin, nullptr, nullptr);
    return 0;
}

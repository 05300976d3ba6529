#include "fuzz_common.h"

#include <cstdlib>

#include "structure_io.h"

void fuzz_exit(int status) {
    throw FuzzEnd{status};
}

FuzzCommand split_command(const uint8_t *data, size_t size) {
    FuzzCommand cmd;
    size_t pos = 0;
    int want = size > 0 ? data[pos++] % 8 : 0;
    for (int i = 0; i < want && pos < size; ++i) {
        std::string word;
        while (pos < size && data[pos] != 0)
            word.push_back(static_cast<char>(data[pos++]));
        if (pos < size) ++pos; // the NUL that ends the word
        cmd.words.push_back(word);
    }
    cmd.input.assign(reinterpret_cast<const char *>(data) + pos, size - pos);
    for (auto &w : cmd.words)
        cmd.argv.push_back(w.data());
    cmd.argv.push_back(nullptr);
    return cmd;
}

FILE *open_text(const std::string &text) {
    FILE *f = nullptr;
    if (!text.empty()) f = fmemopen(const_cast<char *>(text.data()), text.size(), "rb");
    if (!f) f = std::fopen("/dev/null", "rb");
    if (!f) {
        std::perror("fuzz: input stream");
        std::abort();
    }
    return f;
}

FILE *sink() {
    static FILE *f = std::fopen("/dev/null", "w");
    return f;
}

void silence_stdio() {
    static bool done = false;
    if (done) return;
    done = true;
    if (!std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "r", stdin)) {
        std::perror("fuzz: /dev/null");
        std::abort();
    }
}

void require(bool ok, const char *what) {
    if (ok) return;
    std::fprintf(stderr, "fuzz: broken invariant: %s\n", what);
    std::abort();
}

void run_program(FuzzCommand &cmd, void (*reset)(), int (*program)(int, char **)) {
    silence_stdio();
    FILE *in = open_text(cmd.input);
    sio_reset();
    reset();
    sio_bind(in, sink(), sink());
    sio_exit = fuzz_exit;
    int status = -1;
    try {
        program(cmd.argc(), cmd.argv.data());
    } catch (const FuzzEnd &end) {
        status = end.status;
    }
    require(status == 0 || status == 1, "the program returned, or ended with another status");
    std::fflush(stdout);
    std::fclose(in);
    sio_bind(stdin, nullptr, nullptr);
}

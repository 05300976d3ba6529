// Program name, process end, immediate warnings and deferred messages.
#include <cstdlib>
#include <cstring>

#include "sio_private.h"

FILE *sio_in = stdin;
FILE *sio_out = stdout;
FILE *sio_err = stderr;

namespace {
void exit_process(int status) { std::exit(status); }
} // namespace

void (*sio_exit)(int status) = exit_process;

char bufferg[400];
char bufferp[80];
const char *prgcpy = nullptr;

void sio_bind(FILE *in, FILE *out, FILE *err) {
    if (in) sio_in = in;
    if (out) sio_out = out;
    if (err) sio_err = err;
}

void diagnostics_reset() {
    bufferg[0] = '\0';
    bufferp[0] = '\0';
    prgcpy = nullptr;
}

void sio_reset() {
    diagnostics_reset();
    node_readers_reset();
    macro_reset();
    tQ = 0;
}

char *prg_name(char *word) {
    if (!word) return nullptr;
    char *p = word;
    if (char *c = std::strchr(p, ':')) p = c + 1;
    if (char *c = std::strrchr(p, '\\')) p = c + 1;
    if (char *c = std::strrchr(p, '/')) p = c + 1;
    if (char *c = std::strchr(p, '.')) *c = '\0';
    return p;
}

void fin(const char *prg, const char *msg) {
    if (msg) {
        std::fprintf(sio_err, "\n%s: %s\n", prg ? prg : "", msg);
        sio_exit(1);
    } else {
        sio_exit(0);
    }
    std::abort(); // an exit hook must not return
}

void aviso(const char *prg, const char *msg) {
    if (msg) std::fprintf(sio_err, "\n%s: warning: %s\n", prg ? prg : "", msg);
}

void addmsg(const char *msg) {
    std::size_t len = std::strlen(bufferg);
    std::size_t room = 390 - len; // never below 1: the text holds at most 389 characters
    std::size_t take = std::strlen(msg);
    if (take > room - 1) take = room - 1;
    std::memcpy(bufferg + len, msg, take);
    bufferg[len + take] = '\0';
}

void avisozelk(const char *msg) {
    // Bounded: a message of 70 characters would need 81 bytes; the line is cut to fit.
    if (std::snprintf(bufferp, sizeof bufferp, "warning: %.*s\n", 70, msg) >= int(sizeof bufferp))
        bufferp[sizeof bufferp - 1] = '\0';
    addmsg(bufferp);
}

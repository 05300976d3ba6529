// Lexical layer: blanks, comments and numbers, through the C library's own
// conversions so that number syntax is exactly that of "%d" and "%g".
#include <cctype>

#include "sio_private.h"

int in_rem(int echo) {
    for (;;) {
        int c = std::getc(sio_in);
        if (c == EOF) return READ_EOF;
        if (std::isspace(c)) {
            if (echo) std::putc(c, sio_out);
            if (debug) std::fprintf(sio_err, "skipping '%c' (%d)\n", c, c);
            continue;
        }
        if (c == '#') {
            if (debug) std::fputs("in_rem: #", sio_err);
            if (echo) std::putc('#', sio_out);
            for (;;) {
                c = std::getc(sio_in);
                if (c == EOF) return READ_EOF;
                if (echo) std::putc(c, sio_out);
                if (c == '\n') break;
                if (debug) std::putc(c, sio_err);
            }
            if (debug) std::putc('\n', sio_err);
            continue;
        }
        if (debug) std::fprintf(sio_err, "in_rem: unget: '%c' (%d)\n", c, c);
        // N and n would start "nan" without a sign; they come back as H, the exertion letter.
        std::ungetc(c == 'N' || c == 'n' ? 'H' : c, sio_in);
        return READ_OK;
    }
}

int in_int(int *x, int echo) {
    if (in_rem(echo) == READ_EOF) return READ_EOF;
    int value;
    if (std::fscanf(sio_in, "%d", &value) != 1) return READ_NOT_NUMBER;
    *x = value;
    if (echo) std::fprintf(sio_out, "%d", value);
    if (debug) std::fprintf(sio_err, "in_int: %d\n", value);
    return READ_OK;
}

int in_float(float *x, int echo) {
    if (in_rem(echo) == READ_EOF) return READ_EOF;
    float value;
    if (std::fscanf(sio_in, "%g", &value) != 1) return READ_NOT_NUMBER;
    *x = value;
    if (echo) std::fprintf(sio_out, "%g", double(value));
    if (debug) std::fprintf(sio_err, "in_float: %g\n", double(value));
    return READ_OK;
}

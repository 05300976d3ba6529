// Cross-reference check at the end of input: bar ends against the node
// count, section types against their count, materials against theirs. Every
// fault is collected; the run then ends once with all of them.
#include <cstdarg>

#include "sio_private.h"

namespace {

// Formats one message within 79 bytes and queues it.
void fault(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(bufferp, 79, format, args);
    va_end(args);
    addmsg(bufferp);
}

int count(const int *n) { return n ? *n : 0; }

} // namespace

void check_stdin(const char *prg, int *nb, int * /*nd*/, int *nm, int *nn, int *ns,
                 float_list * /*As*/, float_list * /*cdn*/, float_list * /*d*/,
                 float_list * /*E*/, int_list *ms, int_list *ndb, float_list * /*q*/,
                 int_list *sb, int_list * /*v*/, float_list * /*strains*/,
                 float_list * /*exertions*/) {
    if (debug) std::fprintf(sio_err, "check_stdin: begin (%s)\n", prg);
    int bars = count(nb);
    for (int i = 1; i <= bars; i++) {
        if (debug) std::fprintf(sio_err, "check_stdin: bar %d\n", i);
        if (ndb && ndb->size() >= 2 * std::size_t(i)) {
            for (int e = 1; e <= 2; e++) {
                int k = (*ndb)[2 * std::size_t(i - 1) + std::size_t(e - 1)];
                if (debug) std::fprintf(sio_err, "check_stdin: bar %d, end:%d->%d\n", i, e - 1, k);
                if (k < 1 || k > count(nn))
                    fault("%s: end %d of bar %d out of range: %d\n", prg, e, i, k);
            }
        }
        if (sb && sb->size() >= std::size_t(i)) {
            int t = (*sb)[std::size_t(i - 1)];
            if (debug) {
                std::fprintf(sio_err, "check_stdin: bar %d, check sec-type...\n", i);
                std::fprintf(sio_err, "check_stdin: bar %d, sec-type:%d\n", i, t);
            }
            if (t < 1 || t > count(ns))
                fault("%s: section-type of %d out of range: %d\n", prg, i, t);
        }
    }
    if (debug) std::fputs("check_stdin: bars checked\n", sio_err);
    if (ms) {
        int types = count(ns);
        for (int j = 1; j <= types && std::size_t(j) <= ms->size(); j++) {
            int m = (*ms)[std::size_t(j - 1)];
            if (m < 1 || m > count(nm))
                fault("%s: material of section-type %d out of range: %d\n", prg, j, m);
        }
        if (debug) std::fputs("check_stdin: sectypes checked\n", sio_err);
    }
    if (bufferg[0]) fin(prg, bufferg);
}

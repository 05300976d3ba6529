// Fuzz target: the list readers, called directly, list after list, the way
// the whole-input reader calls them but with node and bar counts of the
// fuzzer's choice. Four leading bytes choose the reader and its setting:
//   byte 0: reader (bits 0-3), echo (bit 4), debug (bit 5),
//           arrays not wanted (bit 6), program name dudo2va (bit 7);
//   byte 1: node count nn, 1..32;   byte 2: bar count nb, 1..32;
//   byte 3: reactions in place of loads for in_qdn (bit 0), and how many
//           nodes (bits 1-3) and bars (bits 4-6) the later lists add.
// The rest is the input. After each list that ends normally the token that
// ended it is taken and the same reader is called again (a repeated list),
// with the larger counts that a longer C or B list in between would give.
#include <cstdint>
#include <cstdio>

#include "fuzz_common.h"
#include "structure_io.h"

int debug = 0;

namespace {

struct Arrays {
    int n = -1;
    int_list ndb, sb, ms, v;
    float_list pairs, values, As, q, d;
    Kmatrix B = nullptr;
};

// Calls reader `which` once; checks that a normal end leaves at least as many
// entries as the count it reports (a list without records leaves the earlier
// list's entries in place).
int call(int which, int nn, int nb, bool want, int echo, Arrays &a) {
    int *n = want ? &a.n : nullptr;
    int r = 0;
    switch (which) {
    case 0:
        r = in_B(n, want ? &a.ndb : nullptr, want ? &a.sb : nullptr, echo);
        if (r == READ_OK && want)
            require(a.ndb.size() >= 2 * size_t(a.n) && a.sb.size() >= size_t(a.n),
                    "in_B arrays shorter than its count");
        break;
    case 1:
        r = in_ddn(n, want ? &a.pairs : nullptr, echo);
        if (r == READ_OK && want)
            require(a.pairs.size() >= 2 * size_t(a.n), "in_ddn array shorter than its count");
        break;
    case 2:
    case 3:
        r = (which == 2 ? in_ddb : in_tr)(n, want ? &a.values : nullptr, echo);
        require(r == READ_OK, "a one-field reader reported a cut record");
        if (want) require(a.values.size() >= size_t(a.n), "in_ddb array shorter than its count");
        break;
    case 4:
        r = in_S(n, want ? &a.As : nullptr, want ? &a.ms : nullptr, echo);
        if (r == READ_OK && want)
            require(a.As.size() >= size_t(a.n) && a.ms.size() >= size_t(a.n),
                    "in_S arrays shorter than its count");
        break;
    case 5:
    case 6:
        r = (which == 5 ? in_qdn : in_pdn)(nn, want ? &a.q : nullptr, echo);
        if (want) require(a.q.size() >= 2 * size_t(nn), "load array shorter than the nodes");
        break;
    case 7:
        r = in_V(nn, want ? &a.v : nullptr, want ? &a.d : nullptr, echo);
        if (want)
            require(a.v.size() >= 2 * size_t(nn) && a.d.size() == 2 * size_t(nn),
                    "constraint arrays not sized for the nodes");
        break;
    default:
        r = in_matrizB(nn, nb, want ? &a.B : nullptr, echo);
        require(r == 0 || r == 1, "in_matrizB gave a status other than 0 or 1");
        if (want) require(a.B != nullptr, "in_matrizB made no matrix");
        break;
    }
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) return 0;
    const int which = (data[0] & 15) % 9;
    const int echo = (data[0] >> 4) & 1;
    const bool want = !((data[0] >> 6) & 1);
    const int nn = data[1] % 32 + 1;
    const int nb = data[2] % 32 + 1;
    const int more_nodes = (data[3] >> 1) & 7, more_bars = (data[3] >> 4) & 7;
    const std::string text(reinterpret_cast<const char *>(data) + 4, size - 4);
    FILE *in = open_text(text);
    sio_reset();
    sio_bind(in, sink(), sink());
    sio_exit = fuzz_exit;
    debug = (data[0] >> 5) & 1;
    prgcpy = (data[0] & 128) ? "dudo2va" : "zelk";
    ctr_load = (data[3] & 1) ? &ctr_reactions : &ctr_actions;

    Arrays a;
    try {
        // Every normal end but the last is followed by one character taken,
        // so the lists cannot outnumber the input's characters.
        for (size_t lists = 0;; ++lists) {
            require(lists <= text.size() + 1, "readers make no progress");
            const bool later = lists > 0;
            if (call(which, nn + (later ? more_nodes : 0), nb + (later ? more_bars : 0), want, echo,
                     a) != 0)
                break;
            if (std::getc(in) == EOF) break;
        }
    } catch (const FuzzEnd &) {
        // fin ended the run: a too long X list, or no memory.
    }
    if (a.B) Kfree(nb, a.B); // the matrix keeps the size of the first X list
    std::fclose(in);
    sio_bind(stdin, nullptr, nullptr);
    return 0;
}

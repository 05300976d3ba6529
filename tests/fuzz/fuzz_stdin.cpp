// Fuzz target: the whole-input reader with the argument sets of its callers.
// The first byte chooses the caller (bits 0-1: analysis, drawing script, every
// list wanted, nothing wanted), the program name (bits 2-3: zelk, zelkad,
// dudo2va, other), echo (bit 4) and debug (bit 5); the rest is the input.
// After a complete read every array must hold at least as many entries as its
// count (a repeated list without records leaves the earlier entries behind),
// and every cross-reference within the counts must lie in range, since the
// callers index by them.
#include <cstdint>
#include <cstdio>

#include "fuzz_common.h"
#include "structure_io.h"

int debug = 0;

namespace {

// True when `list` holds at least `count` values and each of them lies in 1..n.
bool in_range(const int_list &list, int count, int n) {
    if (list.size() < size_t(count)) return false;
    for (int i = 0; i < count; ++i)
        if (list[size_t(i)] < 1 || list[size_t(i)] > n) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    static const char *const names[] = {"zelk", "zelkad", "dudo2va", "zelk2"};
    const int caller = data[0] & 3;
    const int echo = (data[0] >> 4) & 1;
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    FILE *in = open_text(text);
    sio_reset();
    sio_bind(in, sink(), sink());
    sio_exit = fuzz_exit;
    debug = (data[0] >> 5) & 1;

    const bool structure = caller == 0 || caller == 2; // the analysis' lists
    const bool drawing = caller == 1 || caller == 2;   // the displacement count
    const bool lists = caller != 3;
    int nb = 0, nd = -1, nm = 0, nn = 0, ns = 0;
    float_list As, cdn, d, E, q, strains, exertions;
    int_list ms, ndb, sb, v;
    int r = 1;
    try {
        r = in_stdin(names[(data[0] >> 2) & 3], &nb, drawing ? &nd : nullptr,
                     structure ? &nm : nullptr, &nn, structure ? &ns : nullptr,
                     structure ? &As : nullptr, lists ? &cdn : nullptr, lists ? &d : nullptr,
                     structure ? &E : nullptr, structure ? &ms : nullptr, lists ? &ndb : nullptr,
                     structure ? &q : nullptr, structure ? &sb : nullptr, structure ? &v : nullptr,
                     caller == 2 ? &strains : nullptr, caller == 2 ? &exertions : nullptr, nullptr,
                     echo);
    } catch (const FuzzEnd &end) {
        require(end.status == 1, "the reader ended a run with a status other than 1");
    }
    std::fclose(in);
    sio_bind(stdin, nullptr, nullptr);
    if (r != 0) {
        if (r != 1) require(r == READ_EOF && nn == 0, "in_stdin gave an unknown result");
        return 0;
    }

    require(nn >= 0 && nb >= 0, "negative count");
    if (lists) {
        require(cdn.size() >= 2 * size_t(nn), "coordinates shorter than the node count");
        require(in_range(ndb, 2 * nb, nn), "a bar end out of range passed the check");
    }
    if (structure) {
        require(in_range(sb, nb, ns), "a section type out of range passed the check");
        require(in_range(ms, ns, nm), "a material number out of range passed the check");
        require(As.size() >= size_t(ns), "areas shorter than the section-type count");
        require(E.size() >= size_t(nm), "moduli shorter than the material count");
        // The loads, flags and displacements keep the node count of their own
        // lists; a longer C list after them is the caller's to fit.
        require(!q.empty() || nn == 0, "no load array after a complete read");
    }
    return 0;
}

// Shows that reading a long list costs in proportion to its length, without
// timing anything: the whole-input reader reads a coordinate list and a bar
// list of 100000 and of 1000000 records, and the bytes it allocates meanwhile
// are counted. Growth by a constant factor allocates about ten times as much
// for ten times the records; growth by one record at a time, with a copy of
// the array each time, allocates about a hundred times as much.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>

#include "structure_io.h"

int debug = 0;

namespace {

size_t allocated = 0; // bytes requested through operator new so far
size_t allocations = 0;

struct End {
    int status;
};

[[noreturn]] void throw_end(int status) {
    throw End{status};
}

struct Figures {
    size_t bytes, calls;
    double seconds;
};

// Reads n nodes and n bars (each bar from node 1 to node 2) with the
// drawing-script program's arguments, and returns what the read allocated.
Figures read_lists(int n) {
    std::string text = "C\n";
    for (int i = 0; i < n; ++i)
        text += "1.5 -2\n";
    text += "B\n";
    for (int i = 0; i < n; ++i)
        text += "1 2 1\n";
    FILE *in = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), in);
    std::rewind(in);
    FILE *null = std::fopen("/dev/null", "w");
    sio_reset();
    sio_bind(in, null, null);
    sio_exit = throw_end;

    int nb = 0, nd = -1, nn = 0;
    float_list cdn, d;
    int_list ndb;
    const size_t bytes0 = allocated, calls0 = allocations;
    const std::clock_t t0 = std::clock();
    int r = -2;
    try {
        r = in_stdin("zelkad", &nb, &nd, nullptr, &nn, nullptr, nullptr, &cdn, &d, nullptr, nullptr,
                     &ndb, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    } catch (const End &end) {
        std::printf("read of %d records ended with status %d\n", n, end.status);
        std::exit(1);
    }
    Figures f{allocated - bytes0, allocations - calls0, double(std::clock() - t0) / CLOCKS_PER_SEC};
    std::fclose(in);
    std::fclose(null);
    if (r != 0 || nn != n || nb != n || cdn.size() != 2 * size_t(n) ||
        ndb.size() != 2 * size_t(n)) {
        std::printf("read of %d records: result %d, %d nodes, %d bars\n", n, r, nn, nb);
        std::exit(1);
    }
    return f;
}

} // namespace

void *operator new(size_t size) {
    allocated += size;
    ++allocations;
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept {
    std::free(p);
}
void operator delete(void *p, size_t) noexcept {
    std::free(p);
}

int main() {
    const Figures small = read_lists(100000);
    const Figures large = read_lists(1000000);
    std::printf("100000 records: %zu bytes in %zu allocations, %.3f s\n", small.bytes, small.calls,
                small.seconds);
    std::printf("1000000 records: %zu bytes in %zu allocations, %.3f s\n", large.bytes, large.calls,
                large.seconds);
    const double ratio = double(large.bytes) / double(small.bytes);
    std::printf("ratio of bytes allocated: %.2f (linear about 10, quadratic about 100)\n", ratio);
    return ratio <= 20.0 ? 0 : 1;
}

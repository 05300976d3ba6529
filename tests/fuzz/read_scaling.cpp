// Shows that reading a long list costs in proportion to its length, without
// timing anything: the whole-input reader reads a coordinate list and a bar
// list of 100000 and of 1000000 records, and the bytes it allocates meanwhile
// are counted, and so are the instructions it runs where the kernel lets a
// process count its own (perf events). Growth by a constant factor allocates
// about ten times as much for ten times the records; growth by one record at
// a time, with a copy of the array each time, allocates about a hundred times
// as much; any other work per record that grows with the list shows in the
// instruction count the same way.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

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
    long long instructions; // -1 when the counter is not available
};

// A counter of the user-space instructions this process runs, or -1.
int open_counter() {
    perf_event_attr attr;
    std::memset(&attr, 0, sizeof attr);
    attr.type = PERF_TYPE_HARDWARE;
    attr.size = sizeof attr;
    attr.config = PERF_COUNT_HW_INSTRUCTIONS;
    attr.disabled = 1;
    attr.exclude_kernel = 1;
    attr.exclude_hv = 1;
    return int(syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
}

long long count_of(int fd) {
    long long n = -1;
    if (fd < 0 || read(fd, &n, sizeof n) != sizeof n) return -1;
    return n;
}

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
    const int counter = open_counter();
    if (counter >= 0) ioctl(counter, PERF_EVENT_IOC_ENABLE, 0);
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
    if (counter >= 0) ioctl(counter, PERF_EVENT_IOC_DISABLE, 0);
    Figures f{allocated - bytes0, allocations - calls0, double(std::clock() - t0) / CLOCKS_PER_SEC,
              count_of(counter)};
    if (counter >= 0) close(counter);
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
    bool ok = ratio <= 20.0;
    if (small.instructions > 0 && large.instructions > 0) {
        const double work = double(large.instructions) / double(small.instructions);
        std::printf("instructions: %lld and %lld, ratio %.2f (linear about 10)\n",
                    small.instructions, large.instructions, work);
        ok = ok && work <= 20.0;
    } else {
        std::printf("instruction counter not available: bytes only\n");
    }
    return ok ? 0 : 1;
}

// Times the elimination alone, as zelk links it: gauss_solve over
// the envelope, gauss_solve_full over the full table (the path of infinite or
// undefined data) and the plain loops, on stiffness matrices assembled from
// trusses:
//   ground/N  a ground structure of nodes on a square grid, every node joined
//             to every other: a dense system of about N equations;
//   grid/N    a grid truss braced in both diagonals, 100 nodes wide, about N
//             equations: a band of about 200 on each side of the diagonal.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "elimination.h"
#include "elimination_reference.h"

namespace {

// A stiffness system: K row-major, n x n, and a load vector.
struct System {
    int n = 0;
    std::vector<float> K, a;
};

// Assembles the bars (i, j) of nodes at (x, y); node 0 is pinned, node `roll`
// held vertically, every other node loaded downwards.
System assemble(const std::vector<float> &x, const std::vector<float> &y,
                const std::vector<std::pair<int, int>> &bars, int roll) {
    const int nn = int(x.size());
    std::vector<int> eq(2 * nn, -1);
    int n = 0;
    for (int d = 0; d < 2 * nn; d++)
        if (d != 0 && d != 1 && d != 2 * roll + 1) eq[d] = n++;
    System s;
    s.n = n;
    s.K.assign(std::size_t(n) * n, 0.0f);
    s.a.assign(n, 0.0f);
    for (auto [i, j] : bars) {
        float lx = x[j] - x[i], ly = y[j] - y[i];
        double l2 = double(lx) * double(lx) + double(ly) * double(ly);
        float t = float(1000.0 / std::pow(l2, 1.5));
        float k[2][2] = {{lx * lx * t, lx * ly * t}, {lx * ly * t, ly * ly * t}};
        int ends[2] = {i, j};
        for (int e = 0; e < 2; e++)
            for (int p = 0; p < 2; p++)
                for (int f = 0; f < 2; f++)
                    for (int q = 0; q < 2; q++) {
                        int r = eq[2 * ends[e] + p], c = eq[2 * ends[f] + q];
                        if (r >= 0 && c >= 0) s.K[std::size_t(r) * n + c] += e == f ? k[p][q] : -k[p][q];
                    }
    }
    for (int d = 0; d < 2 * nn; d++)
        if (eq[d] >= 0 && d % 2) s.a[eq[d]] = -1.0f;
    return s;
}

System ground(int equations) {
    int side = int(std::ceil(std::sqrt((equations + 3) / 2.0)));
    std::vector<float> x, y;
    for (int r = 0; r < side; r++)
        for (int c = 0; c < side; c++) x.push_back(float(c)), y.push_back(float(r));
    std::vector<std::pair<int, int>> bars;
    for (int i = 0; i < int(x.size()); i++)
        for (int j = i + 1; j < int(x.size()); j++) bars.emplace_back(i, j);
    return assemble(x, y, bars, side - 1);
}

System grid(int equations) {
    const int cols = 100;
    int rows = std::max(2, (equations + 3) / (2 * cols));
    std::vector<float> x, y;
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) x.push_back(float(c)), y.push_back(float(r));
    std::vector<std::pair<int, int>> bars;
    auto id = [](int r, int c) { return r * cols + c; };
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) {
            if (c + 1 < cols) bars.emplace_back(id(r, c), id(r, c + 1));
            if (r + 1 < rows) bars.emplace_back(id(r, c), id(r + 1, c));
            if (r + 1 < rows && c + 1 < cols) bars.emplace_back(id(r, c), id(r + 1, c + 1));
            if (r + 1 < rows && c > 0) bars.emplace_back(id(r, c), id(r + 1, c - 1));
        }
    return assemble(x, y, bars, cols - 1);
}

// One solve per iteration by `solve` over the full table, on a fresh copy of
// the system (copy not timed).
void run_table(benchmark::State &state, const System &s,
               int (*solve)(Kmatrix, float *, int, pivot_printer, void *)) {
    Kmatrix K = Kalloc(s.n, s.n);
    std::vector<float> a;
    for (auto _ : state) {
        state.PauseTiming();
        for (int r = 0; r < s.n; r++) std::memcpy(K[r], &s.K[std::size_t(r) * s.n], sizeof(float) * s.n);
        a = s.a;
        state.ResumeTiming();
        int status = solve(K, a.data(), s.n, nullptr, nullptr);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(a.data());
    }
    state.counters["equations"] = s.n;
    Kfree(s.n, K);
}

// One solve over the envelope per iteration, the table allocated and filled
// with the system first (not timed), as zelk allocates it for every solve.
void run_fast(benchmark::State &state, const System &s) {
    std::vector<int> lo(s.n), hi(s.n);
    for (int r = 0; r < s.n; r++) {
        lo[r] = hi[r] = r;
        for (int c = 0; c < s.n; c++)
            if (s.K[std::size_t(r) * s.n + c] != 0.0f) lo[r] = std::min(lo[r], c), hi[r] = std::max(hi[r], c);
    }
    envelope_table T;
    std::vector<float> a;
    for (auto _ : state) {
        state.PauseTiming();
        if (!T.alloc(s.n, lo, hi)) {
            state.SkipWithError("out of memory");
            break;
        }
        for (int r = 0; r < s.n; r++)
            std::memcpy(&T.at(r, T.first(r)), &s.K[std::size_t(r) * s.n + T.first(r)],
                        sizeof(float) * (T.last(r) - T.first(r) + 1));
        a = s.a;
        state.ResumeTiming();
        int status = gauss_solve(T, a.data(), nullptr, nullptr);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(a.data());
    }
    state.counters["equations"] = s.n;
    state.counters["stored"] = double(T.stored());
}

const System &cached(bool dense, int equations) {
    static std::vector<std::pair<std::pair<bool, int>, System>> memo;
    for (auto &m : memo)
        if (m.first == std::make_pair(dense, equations)) return m.second;
    memo.emplace_back(std::make_pair(dense, equations), dense ? ground(equations) : grid(equations));
    return memo.back().second;
}

void BM_ground_fast(benchmark::State &st) { run_fast(st, cached(true, int(st.range(0)))); }
void BM_ground_full(benchmark::State &st) { run_table(st, cached(true, int(st.range(0))), gauss_solve_full); }
void BM_ground_plain(benchmark::State &st) { run_table(st, cached(true, int(st.range(0))), reference_solve); }
void BM_grid_fast(benchmark::State &st) { run_fast(st, cached(false, int(st.range(0)))); }
void BM_grid_plain(benchmark::State &st) { run_table(st, cached(false, int(st.range(0))), reference_solve); }

} // namespace

BENCHMARK(BM_ground_fast)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ground_full)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ground_plain)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_grid_fast)->Arg(2000)->Arg(4000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_grid_plain)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// The fast elimination, over the envelope and over the full table, against
// the plain loops: the same status, the same pivot calls in the same order,
// and, after a solve, the same bits in every entry of `a` and of the divided
// rows, on systems chosen to reach each path of the fast code (full and
// narrow reach, panel edges, exact and signed zeros, negative and zero
// pivots, infinities and NaNs in the input or arising on the way); and the
// envelope's size against the reach of its rows. Every identity test runs
// with each set of kernels that the build holds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "elimination.h"
#include "elimination_reference.h"
#include "kernel_sets.h"
#include "test_switches.h"

// The library reads the debug flag that the analysis modules define; taking
// its address links that module in.
int *elimination_test_debug_flag = &debug;

namespace {

using bits_t = std::uint32_t;

bits_t bits(float x) {
    bits_t u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

const float inf = std::numeric_limits<float>::infinity();
const float nan_ = std::numeric_limits<float>::quiet_NaN();

// A system held row-major: K is n x n, a is the right-hand side.
struct System {
    int n = 0;
    std::vector<float> K;
    std::vector<float> a;
    float &at(int r, int c) { return K[std::size_t(r) * n + c]; }
};

struct Outcome {
    int status = -1;
    std::vector<std::pair<int, bits_t>> pivots; // (k, pivot bits), in call order
    std::vector<bits_t> a;
    std::vector<bits_t> U; // row-major n x n: K(r, c) for c >= r after a solve, else 0
    bool went_full = false; // the envelope asked for the full table
};

void record(int k, float p, void *ctx) {
    static_cast<Outcome *>(ctx)->pivots.emplace_back(k, bits(p));
}

// How a system is solved: by the plain loops, over its envelope (the columns
// from each row's first to its last non-zero bit pattern, or wider, as the
// bars of a truss give it), or over the full table.
enum Path { PLAIN, ENVELOPE, WIDE_ENVELOPE, FULL };

Kmatrix full_copy(const System &s) {
    Kmatrix M = Kalloc(s.n, s.n);
    for (int r = 0; r < s.n; r++) std::memcpy(M[r], &s.K[std::size_t(r) * s.n], sizeof(float) * s.n);
    return M;
}

// Keeps the divided rows, K(r, c) for c >= r, with every zero as +0: the
// envelope holds no values outside it, where the plain loops hold zeros of
// either sign (their effect on the solution is compared through `a`).
void keep_upper(Outcome &o, int n, const std::function<float(int, int)> &K) {
    o.U.assign(std::size_t(n) * n, 0);
    for (int r = 0; r < n; r++)
        for (int c = r; c < n; c++) {
            const bits_t u = bits(K(r, c));
            o.U[std::size_t(r) * n + c] = (u & 0x7fffffffu) == 0 ? 0 : u;
        }
}

// Row r of s holds non-zero bit patterns in lo[r] .. hi[r] (OUT), widened by
// `wider` columns on each side.
void reach_of(const System &s, int wider, std::vector<int> &lo, std::vector<int> &hi) {
    lo.assign(s.n, 0);
    hi.assign(s.n, 0);
    for (int r = 0; r < s.n; r++) {
        int l = r, h = r;
        for (int c = 0; c < s.n; c++)
            if (bits(s.K[std::size_t(r) * s.n + c])) l = std::min(l, c), h = std::max(h, c);
        lo[r] = std::max(0, l - wider);
        hi[r] = std::min(s.n - 1, h + wider);
    }
}

Outcome run(const System &s, Path path) {
    Outcome o;
    std::vector<float> a = s.a;
    if (path == ENVELOPE || path == WIDE_ENVELOPE) {
        std::vector<int> lo, hi;
        reach_of(s, path == WIDE_ENVELOPE ? 7 : 0, lo, hi);
        envelope_table T;
        EXPECT_TRUE(T.alloc(s.n, lo, hi));
        for (int r = 0; r < s.n; r++)
            for (int c = T.first(r); c <= T.last(r); c++) T.at(r, c) = s.K[std::size_t(r) * s.n + c];
        o.status = gauss_solve(T, a.data(), record, &o);
        if (o.status != SOLVE_NEEDS_FULL) {
            // Outside its envelope the plain loops leave exact zeros.
            keep_upper(o, s.n, [&](int r, int c) { return c <= T.last(r) ? T.at(r, c) : 0.0f; });
            for (float x : a) o.a.push_back(bits(x));
            return o;
        }
        // Nothing printed, `a` untouched: then the full table, as the solver does.
        o.went_full = true;
        EXPECT_TRUE(o.pivots.empty());
        for (int i = 0; i < s.n; i++) EXPECT_EQ(bits(a[i]), bits(s.a[i])) << "a(" << i << ") changed";
        path = FULL;
    }
    Kmatrix M = full_copy(s);
    o.status = path == FULL ? gauss_solve_full(M, a.data(), s.n, record, &o)
                            : reference_solve(M, a.data(), s.n, record, &o);
    keep_upper(o, s.n, [&](int r, int c) { return M[r][c]; });
    for (float x : a) o.a.push_back(bits(x));
    Kfree(s.n, M);
    return o;
}

// Index of the first differing entry, or -1.
long first_diff(const std::vector<bits_t> &x, const std::vector<bits_t> &y) {
    for (std::size_t i = 0; i < x.size() && i < y.size(); i++)
        if (x[i] != y[i]) return long(i);
    return x.size() == y.size() ? -1 : long(std::min(x.size(), y.size()));
}

// Compares one fast path's outcome with the plain loops'.
void expect_same(const Outcome &got, const Outcome &ref, int n) {
    ASSERT_EQ(got.status, ref.status);
    ASSERT_EQ(got.pivots.size(), ref.pivots.size());
    for (std::size_t i = 0; i < ref.pivots.size(); i++) {
        ASSERT_EQ(got.pivots[i].first, ref.pivots[i].first) << "pivot call " << i;
        ASSERT_EQ(got.pivots[i].second, ref.pivots[i].second) << "pivot of equation " << i + 1;
    }
    if (ref.status != 0) return;
    long d = first_diff(got.a, ref.a);
    EXPECT_EQ(d, -1) << "solution entry " << d;
    d = first_diff(got.U, ref.U);
    EXPECT_EQ(d, -1) << "K(" << (d < 0 ? 0 : d / n) << ", " << (d < 0 ? 0 : d % n) << ")";
}

// Checks each fast path against the plain loops on system s: the status, the
// pivot calls and, after a solve, the solution and the divided rows U (which
// the back substitution reads), zeros taken as +0. Returns whether the
// envelope asked for the full table.
bool expect_identical(const System &s, const std::string &what) {
    SCOPED_TRACE(what);
    const Outcome ref = run(s, PLAIN);
    bool went_full = false;
    for (Path path : {ENVELOPE, WIDE_ENVELOPE, FULL}) {
        SCOPED_TRACE(path == ENVELOPE ? "envelope" : path == WIDE_ENVELOPE ? "wide envelope" : "full");
        const Outcome got = run(s, path);
        if (path == ENVELOPE) went_full = got.went_full;
        expect_same(got, ref, s.n);
    }
    return went_full;
}

// Runs its tests with each kernel set of the build.
class EliminationIdentity : public KernelSetTest {};
INSTANTIATE_FOR_KERNEL_SETS(EliminationIdentity);

// Kinds of diagonal: dominant positive (positive definite when symmetric),
// dominant with random sign (negative pivots), or plain random (indefinite,
// pivots near zero and growth).
enum Diag { SPD, SIGNED, RANDOM };

// A random system whose row r has non-zeros in columns r-lw .. r+uw, with
// holes (exact zeros) inside that reach at rate `holes`.
System banded(int n, int lw, int uw, Diag diag, bool symmetric, double holes, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_real_distribution<double> h(0.0, 1.0);
    System s;
    s.n = n;
    s.K.assign(std::size_t(n) * n, 0.0f);
    for (int r = 0; r < n; r++)
        for (int c = std::max(0, r - lw); c <= std::min(n - 1, r + uw); c++) {
            if (c == r) continue;
            if (symmetric && c < r) continue;
            float x = h(g) < holes ? 0.0f : u(g);
            s.at(r, c) = x;
            if (symmetric && c - r <= lw) s.at(c, r) = x;
        }
    for (int r = 0; r < n; r++) {
        float sum = 1.0f;
        for (int c = 0; c < n; c++) sum += std::fabs(s.at(r, c));
        float d = diag == SPD ? sum : diag == SIGNED ? (u(g) < 0 ? -sum : sum) : u(g);
        s.at(r, r) = d;
    }
    s.a.resize(n);
    for (float &x : s.a) x = u(g);
    return s;
}

TEST_P(EliminationIdentity, RandomSystemsOfEveryShape) {
    struct Case {
        const char *name;
        int n, lw, uw;
        Diag diag;
        bool symmetric;
        double holes;
    };
    const Case cases[] = {
        {"one equation", 1, 0, 0, SPD, true, 0.0},
        {"two equations", 2, 1, 1, SIGNED, true, 0.0},
        {"three, dense", 3, 2, 2, RANDOM, false, 0.0},
        {"tridiagonal across panels", 70, 1, 1, SPD, true, 0.0},
        {"narrow band, holes", 150, 9, 9, SPD, true, 0.4},
        {"narrow band, negative pivots", 150, 9, 9, SIGNED, true, 0.3},
        {"narrow band, indefinite", 130, 6, 6, RANDOM, true, 0.2},
        {"lower reach short, upper long", 140, 2, 40, SIGNED, false, 0.1},
        {"lower reach long, upper short", 140, 40, 2, SIGNED, false, 0.1},
        {"medium band over several panels", 400, 60, 60, SPD, true, 0.5},
        {"wide band, negative pivots", 300, 100, 100, SIGNED, true, 0.2},
        {"dense, positive definite", 200, 200, 200, SPD, true, 0.0},
        {"dense across wide panels", 300, 300, 300, SIGNED, false, 0.05},
        {"dense, indefinite", 140, 140, 140, RANDOM, false, 0.0},
    };
    unsigned seed = 1;
    for (const Case &c : cases)
        EXPECT_FALSE(expect_identical(banded(c.n, c.lw, c.uw, c.diag, c.symmetric, c.holes, seed++), c.name))
            << c.name << ": finite input solved over its envelope";
}

// A profile matrix: every row starts at its own random column, as in a badly
// numbered truss; symmetric, positive definite.
TEST_P(EliminationIdentity, RaggedProfile) {
    std::mt19937 g(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    const int n = 260;
    System s;
    s.n = n;
    s.K.assign(std::size_t(n) * n, 0.0f);
    for (int r = 0; r < n; r++) {
        int first = std::max(0, r - int(g() % 50));
        if (g() % 17 == 0) first = int(g() % (r + 1)); // an occasional long row
        for (int c = first; c < r; c++) s.at(r, c) = s.at(c, r) = u(g);
    }
    for (int r = 0; r < n; r++) {
        float sum = 1.0f;
        for (int c = 0; c < n; c++) sum += std::fabs(s.at(r, c));
        s.at(r, r) = sum;
    }
    s.a.assign(n, 1.0f);
    expect_identical(s, "ragged profile");
}

// Signed zeros: -0 in the matrix turns the reach off; -0 and +0 in the
// right-hand side meet zero factors in the forward and back substitution,
// where -0 - (-0) gives +0.
TEST_P(EliminationIdentity, SignedZeros) {
    {
        System s = banded(120, 5, 5, SIGNED, true, 0.3, 11);
        s.at(10, 13) = -0.0f;
        s.at(60, 58) = -0.0f;
        // Far beyond the band: the plain loops subtract (+0 / negative pivot) * +0
        // = -0 from it, which gives +0. (A -0 in row 0 would widen every row's
        // reach to the last column and hide this.)
        s.at(60, 110) = -0.0f;
        expect_identical(s, "-0 entries in K");
    }
    for (Diag d : {SPD, SIGNED}) {
        System s = banded(150, 4, 4, d, true, 0.2, 12);
        std::mt19937 g(13);
        for (float &x : s.a) x = g() % 3 == 0 ? -0.0f : g() % 2 ? 0.0f : -1.0f * float(g() % 4);
        s.a[0] = -2.0f;
        s.a[s.n - 1] = -0.0f;
        expect_identical(s, d == SPD ? "zeros in a, positive pivots" : "zeros in a, mixed pivots");
    }
    {
        // A zero right-hand side with negative pivots: every entry of a is a signed zero.
        System s = banded(100, 3, 3, SIGNED, false, 0.0, 14);
        for (int i = 0; i < s.n; i++) s.a[i] = i % 2 ? -0.0f : 0.0f;
        expect_identical(s, "all signed zeros in a");
    }
    for (bool with_inf : {false, true}) {
        // Two uncoupled blocks, the second with a right-hand side of -0: in the
        // plain loops its rows take the products of the first block's solution
        // with exact zeros, -0 - (+0 * negative) = +0, or NaN once the first
        // block's solution holds an inf; also when the rows are substituted
        // side by side.
        System s = banded(300, 40, 40, SPD, true, 0.2, 15);
        for (int r = 0; r < s.n; r++)
            for (int c = 0; c < s.n; c++)
                if ((r < 100) != (c < 100)) s.at(r, c) = 0.0f;
        s.a[0] = -1.0f;
        if (with_inf) s.a[50] = inf;
        for (int r = 100; r < s.n; r++) s.a[r] = -0.0f;
        expect_identical(s, with_inf ? "inf in a, then an uncoupled block"
                                     : "-0 right-hand side after an uncoupled block");
    }
    {
        // A full system whose first panel is diagonal, so that the U rows hold
        // +0 left of the diagonal; below the panel, -0 factors that stay -0
        // (every earlier factor of the row +0) and, later in the same block of
        // columns, a negative factor: its step must leave the -0 alone, where
        // -0 - (+0 * negative) would give +0. One in each half of a block.
        System s = banded(230, 230, 230, SPD, false, 0.0, 16);
        for (int r = 0; r < 192; r++)
            for (int c = 0; c < 192; c++)
                if (r != c) s.at(r, c) = 0.0f;
        for (auto [r, z, f] : {std::tuple{200, 34, 37}, std::tuple{210, 42, 44}}) {
            for (int c = 0; c <= f; c++) s.at(r, c) = 0.0f;
            s.at(r, z) = -0.0f;
            s.at(r, f) = -1.0f;
        }
        expect_identical(s, "-0 factors inside a block of columns");
    }
}

// Cuts row and column r off the equations before it, so that its pivot is
// its own diagonal entry.
void isolate(System &s, int r) {
    for (int c = 0; c < r; c++) s.at(r, c) = s.at(c, r) = 0.0f;
}

// Infinities and NaNs, given or produced: the zeros beyond the reach then
// become NaN in the plain loops (0 * inf), and the fast code must follow.
TEST_P(EliminationIdentity, NonFiniteValues) {
    struct Case {
        const char *name;
        int r, c;
        float x;
    };
    const Case given[] = {
        {"inf on the diagonal", 40, 40, inf},
        {"-inf below the diagonal", 41, 38, -inf},
        {"NaN above the diagonal", 20, 22, nan_},
        {"NaN pivot", 0, 0, nan_},
    };
    for (const Case &c : given) {
        System s = banded(100, 3, 3, SPD, false, 0.0, 21);
        s.at(c.r, c.c) = c.x;
        EXPECT_TRUE(expect_identical(s, c.name)) << c.name << ": solved over the full table";
    }
    {
        System s = banded(100, 3, 3, SPD, true, 0.0, 22);
        s.a[30] = inf;
        s.a[70] = nan_;
        expect_identical(s, "inf and NaN in a");
    }
    {
        // Finite input whose elimination overflows: a tiny pivot under large
        // off-diagonal entries gives inf, then inf - inf gives NaN.
        System s = banded(100, 3, 3, SPD, true, 0.0, 23);
        isolate(s, 50);
        s.at(50, 50) = 1e-30f;
        s.at(50, 51) = s.at(51, 50) = 3e38f;
        s.at(50, 52) = s.at(52, 50) = -3e38f;
        EXPECT_TRUE(expect_identical(s, "overflow to infinity on the way"));
    }
    {
        System s = banded(100, 3, 3, SPD, false, 0.0, 24);
        isolate(s, 30);
        s.at(30, 30) = 1e-38f;
        s.at(30, 33) = 3e38f; // U = 3e38 / 1e-38 = inf
        expect_identical(s, "division by a tiny pivot overflows");
    }
}

// NaNs of both signs. Where a product meets two NaNs the processor returns one
// of them, by the order the compiler takes them in; every solve gives the first
// of the loops' operands, U(k, c) * L(r, k), a(k) * L(r, k), U(k, c) * a(c).
// Each of those products on two equations, the bits worked out by hand for a
// processor that returns the first operand's NaN of an operation on two (as
// x86 and arm64 do; QEMU 7.2's emulation of x86 does not, its division of
// two NaNs returns the second: .ci/run leaves this test out there).
TEST_P(EliminationIdentity, OppositeNaNsByHand) {
    const float pn = nan_, mn = -nan_;
    struct Hand {
        const char *name;
        float K[4], a[2];
        float pivot2, x[2];
    };
    const Hand hand[] = {
        // K(2,2) = 5 - (-nan * +nan) = -nan; a(1) = 1 - (-nan * +nan) = -nan.
        {"U times L", {1, mn, pn, 5}, {1, 1}, mn, {mn, pn}},
        // a(2) = 0 - (-nan * +nan) = -nan, then -nan / +nan.
        {"a(k) times L", {1, 0, pn, 1}, {mn, 0}, pn, {mn, mn}},
        // a(1) = 0 - (+nan * -nan) = +nan.
        {"U times a(c)", {1, pn, 0, 1}, {0, mn}, pn, {pn, mn}},
    };
    for (const Hand &h : hand) {
        System s;
        s.n = 2;
        s.K.assign(h.K, h.K + 4);
        s.a.assign(h.a, h.a + 2);
        expect_identical(s, h.name);
        const Outcome o = run(s, FULL);
        ASSERT_EQ(o.pivots.size(), 2u) << h.name;
        EXPECT_EQ(o.pivots[1].second, bits(h.pivot2)) << h.name;
        EXPECT_EQ(o.a[0], bits(h.x[0])) << h.name;
        EXPECT_EQ(o.a[1], bits(h.x[1])) << h.name;
    }
}

// Opposite NaNs planted where the panel rows, the tiles beyond and below a
// panel and the trailing update meet them; then random systems holding
// special values of every kind.
TEST_P(EliminationIdentity, OppositeNaNsMeetInTheLoopsOrder) {
    const float pn = nan_, mn = -nan_;
    struct Plant {
        int r, c; // c < 0: entry r of a
        float x;
    };
    struct Case {
        const char *name;
        std::vector<Plant> plants; // pairs: a -NaN U value, a +NaN L factor of its step
    };
    const Case cases[] = {
        {"within a panel's columns", {{3, 20, mn}, {8, 3, pn}}},
        {"a panel's rows beyond it, across row groups", {{40, 230, mn}, {50, 40, pn}}},
        {"a panel's rows beyond it, within a row group", {{42, 230, mn}, {44, 42, pn}}},
        {"rows below a panel, over its columns", {{5, 100, mn}, {250, 5, pn}}},
        {"the trailing update", {{10, 250, mn}, {260, 10, pn}}},
        {"the second panel's rows", {{200, 280, mn}, {210, 200, pn}}},
        {"forward substitution, rows side by side", {{100, -1, mn}, {105, 100, pn}}},
        {"back substitution", {{150, 290, pn}, {290, -1, mn}}},
    };
    unsigned seed = 61;
    for (const Case &c : cases) {
        System s = banded(300, 300, 300, SPD, false, 0.0, seed++);
        for (const Plant &p : c.plants) (p.c < 0 ? s.a[p.r] : s.at(p.r, p.c)) = p.x;
        expect_identical(s, c.name);
    }

    std::mt19937 g(67);
    const float special[] = {inf, -inf, pn, mn, 3e38f, -0.0f};
    for (int t = 0; t < 40; t++) {
        const int n = 1 + int(g() % 320);
        System s = banded(n, n, n, t % 2 ? SPD : SIGNED, false, 0.0, 100 + t);
        for (int i = 1 + int(g() % 4); i > 0; i--) {
            const float x = special[g() % 6];
            if (g() % 3 == 0) s.a[g() % n] = x;
            else s.at(int(g() % n), int(g() % n)) = x;
        }
        expect_identical(s, "random system " + std::to_string(t) + " of " + std::to_string(n));
    }
}

// Exactly zero pivots: the pivot calls stop at the zero one and the status is
// 1. A row with a zero diagonal and nothing to its left keeps a +0 pivot.
TEST_P(EliminationIdentity, ZeroPivots) {
    const int n = 200;
    const int rows[] = {0, 1, 31, 32, 33, 100, 198, n - 1};
    for (int zr : rows) {
        System s = banded(n, 5, 5, SPD, false, 0.1, 31);
        for (int c = 0; c <= zr; c++) s.at(zr, c) = 0.0f;
        expect_identical(s, "zero pivot at row " + std::to_string(zr + 1));
    }
    {
        System s = banded(n, 200, 200, SPD, false, 0.0, 32);
        for (int c = 0; c <= 150; c++) s.at(150, c) = 0.0f;
        expect_identical(s, "zero pivot late in a dense system");
    }
    {
        System s = banded(50, 2, 2, SPD, true, 0.0, 33);
        s.at(0, 0) = -0.0f;
        Outcome o = run(s, ENVELOPE);
        EXPECT_EQ(o.status, 1);
        ASSERT_EQ(o.pivots.size(), 1u);
        EXPECT_EQ(o.pivots[0].second, bits(-0.0f));
    }
    {
        // A NaN factor before the zero pivot: the zero must still be found and
        // no later pivot reported.
        System s = banded(n, 4, 4, SPD, false, 0.0, 34);
        s.at(20, 22) = nan_;
        for (int c = 0; c <= 120; c++) s.at(120, c) = 0.0f;
        s.at(120, 120) = 0.0f;
        expect_identical(s, "NaN factor before a zero diagonal");
    }
}

// Full systems over several panels, where the rows below each panel and the
// panel's rows beyond it go by register tiles: panels, tiles and blocks cut
// short at the end, and special values given in each region (left of a
// block's first column, in the U rows, in the trailing part, in a), which
// turn into NaN or signed zeros on the way. Then a band wide enough for the
// medium panels, and one whose substitution runs rows side by side.
TEST_P(EliminationIdentity, TiledPanelsAndSideBySideRows) {
    struct Plant {
        int r, c; // c < 0: entry r of a
        float x;
    };
    struct Case {
        const char *name;
        int n, lw, uw;
        Diag diag;
        double holes;
        std::vector<Plant> plants;
        bool zeros;    // every seventh entry of K and a made -0, every fifth +0
        bool zero_rhs; // a all zeros of both signs: the solution too
    };
    const Case cases[] = {
        {"three panels, the last of five rows", 389, 389, 389, SIGNED, 0.0, {}, false, false},
        {"two panels, indefinite", 250, 250, 250, RANDOM, 0.0, {}, false, false},
        {"last panel of 8 rows, -0 and +0 throughout", 200, 200, 200, SIGNED, 0.0, {}, true, false},
        {"inf in the L factors below a panel, in both halves of a block", 230, 230, 230, SPD, 0.0,
         {{210, 37, inf}, {220, 44, inf}}, false, false},
        {"-inf in the last column of a block below a panel", 230, 230, 230, SIGNED, 0.0,
         {{200, 15, -inf}}, false, false},
        {"NaN in a panel's row beyond it", 260, 260, 260, SPD, 0.0, {{5, 220, nan_}}, false, false},
        {"inf within a panel's row group", 260, 260, 260, SPD, 0.0, {{4, 2, inf}}, false, false},
        {"inf in the trailing part, inf and NaN in a", 300, 300, 300, SIGNED, 0.0,
         {{250, 240, inf}, {100, -1, inf}, {280, -1, nan_}}, false, false},
        {"full, zero right-hand side", 240, 240, 240, SIGNED, 0.0, {}, false, true},
        {"medium panels, negative pivots, holes", 700, 140, 140, SIGNED, 0.3, {}, false, false},
        {"band of 40, signed zeros and inf in a", 300, 40, 40, SIGNED, 0.2,
         {{0, -1, -0.0f}, {57, -1, -0.0f}, {58, -1, 0.0f}, {150, -1, inf}}, false, false},
        {"band of 40, zero right-hand side", 300, 40, 40, SIGNED, 0.2, {}, false, true},
        {"band of 40, positive pivots, zero right-hand side", 300, 40, 40, SPD, 0.2, {}, false, true},
    };
    unsigned seed = 51;
    for (const Case &c : cases) {
        System s = banded(c.n, c.lw, c.uw, c.diag, c.lw == c.uw && c.holes > 0, c.holes, seed++);
        if (c.zeros) {
            for (std::size_t i = 0; i < s.K.size(); i++)
                if (i % 7 == 3) s.K[i] = -0.0f;
                else if (i % 5 == 1) s.K[i] = 0.0f;
            for (int i = 0; i < s.n; i++)
                if (i % 7 == 2) s.a[i] = -0.0f;
                else if (i % 5 == 0) s.a[i] = 0.0f;
        }
        if (c.zero_rhs)
            for (int i = 0; i < s.n; i++) s.a[i] = i % 3 == 1 ? -0.0f : 0.0f;
        for (const Plant &p : c.plants) (p.c < 0 ? s.a[p.r] : s.at(p.r, p.c)) = p.x;
        expect_identical(s, c.name);
    }
}

TEST_P(EliminationIdentity, EmptySystemAndNoPrinter) {
    Outcome o;
    envelope_table T;
    ASSERT_TRUE(T.alloc(0, {}, {}));
    EXPECT_EQ(gauss_solve(T, nullptr, record, &o), SOLVE_OK);
    EXPECT_EQ(gauss_solve_full(nullptr, nullptr, 0, record, &o), SOLVE_OK);
    EXPECT_TRUE(o.pivots.empty());

    System s = banded(80, 3, 3, SPD, true, 0.0, 41);
    std::vector<int> lo, hi;
    reach_of(s, 0, lo, hi);
    ASSERT_TRUE(T.alloc(s.n, lo, hi));
    for (int r = 0; r < s.n; r++)
        for (int c = T.first(r); c <= T.last(r); c++) T.at(r, c) = s.at(r, c);
    std::vector<float> a = s.a;
    EXPECT_EQ(gauss_solve(T, a.data(), nullptr, nullptr), SOLVE_OK);
    Outcome ref = run(s, PLAIN);
    for (int i = 0; i < s.n; i++) EXPECT_EQ(bits(a[i]), ref.a[i]) << i;
}

// The table holds each row from its first factor to its reach and nothing
// else; a single coupling of the first and the last equation widens every
// row to the full table.
TEST(EnvelopeTable, HoldsOnlyTheReachOfItsRows) {
    struct Case {
        const char *name;
        int n;
        std::function<std::pair<int, int>(int)> reach; // row r -> (lo, hi)
        std::size_t stored;
    };
    const int n = 1000, w = 25, m = 40;
    std::size_t band = 0;
    for (int r = 0; r < n; r++) band += std::size_t(std::min(n - 1, r + w) - std::max(0, r - w) + 1);
    const Case cases[] = {
        {"band", n, [&](int r) { return std::pair{std::max(0, r - w), std::min(n - 1, r + w)}; }, band},
        {"diagonal", n, [](int r) { return std::pair{r, r}; }, std::size_t(n)},
        {"blocks of 40", n, [&](int r) { return std::pair{r / m * m, r / m * m + m - 1}; },
         std::size_t(n) * m},
        {"first row coupled to the last", n,
         [&](int r) { return r == 0 ? std::pair{0, n - 1} : r == n - 1 ? std::pair{0, n - 1} : std::pair{r, r}; },
         std::size_t(n) * n},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> lo(c.n), hi(c.n);
        for (int r = 0; r < c.n; r++) std::tie(lo[r], hi[r]) = c.reach(r);
        envelope_table T;
        ASSERT_TRUE(T.alloc(c.n, lo, hi));
        EXPECT_EQ(T.stored(), c.stored);
        for (int r = 0; r < c.n; r++) {
            EXPECT_LE(T.first(r), lo[r]);
            EXPECT_GE(T.last(r), hi[r]);
        }
    }
}

} // namespace

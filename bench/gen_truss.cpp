// Writes large, valid structure texts for timing zelk:
//   gen_truss bridge N         Pratt bridge of N panels, loaded at the bottom chord
//   gen_truss grid R C         R x C nodes, bars along rows and columns and both diagonals
//   gen_truss ground N RADIUS  N x N nodes, every pair closer than RADIUS joined
// A trailing word "strict" asks for strict sizing (one material, section value
// -100, the allowable stress). Nodes are numbered row by row, so that the
// equations of neighbouring nodes stay close and the system stays banded; a
// trailing word "shuffled" numbers them in a fixed random order instead,
// which spreads every row's reach over nearly all equations.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

namespace {

struct Truss {
    std::vector<double> x, y;                   // node coordinates
    std::vector<int> a, b;                      // bar ends, 1-based
    std::vector<int> vnode, vdir;               // constrained node and direction
    std::vector<int> qnode;                     // nodes loaded downwards by 1
    void bar(int i, int j) { a.push_back(i); b.push_back(j); }
};

Truss bridge(int n) {
    Truss t;
    // Panel point i: bottom node 2i+1, top node 2i+2; panel length 4, height 3.
    for (int i = 0; i <= n; i++) {
        t.x.push_back(4.0 * i), t.y.push_back(0.0);
        t.x.push_back(4.0 * i), t.y.push_back(3.0);
    }
    auto bot = [](int i) { return 2 * i + 1; };
    auto top = [](int i) { return 2 * i + 2; };
    for (int i = 0; i < n; i++) {
        t.bar(bot(i), bot(i + 1));
        t.bar(top(i), top(i + 1));
        // Pratt diagonals fall towards mid-span.
        if (2 * i < n) t.bar(top(i), bot(i + 1));
        else t.bar(bot(i), top(i + 1));
    }
    for (int i = 0; i <= n; i++) t.bar(bot(i), top(i));
    t.vnode = {bot(0), bot(0), bot(n)};
    t.vdir = {1, 2, 2};
    for (int i = 1; i < n; i++) t.qnode.push_back(bot(i));
    return t;
}

Truss grid(int rows, int cols) {
    Truss t;
    auto id = [cols](int r, int c) { return r * cols + c + 1; };
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) t.x.push_back(c), t.y.push_back(r);
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) {
            if (c + 1 < cols) t.bar(id(r, c), id(r, c + 1));
            if (r + 1 < rows) t.bar(id(r, c), id(r + 1, c));
            if (r + 1 < rows && c + 1 < cols) t.bar(id(r, c), id(r + 1, c + 1));
            if (r + 1 < rows && c > 0) t.bar(id(r, c), id(r + 1, c - 1));
        }
    t.vnode = {id(0, 0), id(0, 0), id(0, cols - 1)};
    t.vdir = {1, 2, 2};
    for (int c = 0; c < cols; c++) t.qnode.push_back(id(rows - 1, c));
    return t;
}

Truss ground(int n, double radius) {
    Truss t;
    for (int r = 0; r < n; r++)
        for (int c = 0; c < n; c++) t.x.push_back(c), t.y.push_back(r);
    const int nn = n * n;
    for (int i = 0; i < nn; i++)
        for (int j = i + 1; j < nn; j++) {
            double dx = t.x[j] - t.x[i], dy = t.y[j] - t.y[i];
            if (dx * dx + dy * dy <= radius * radius) t.bar(i + 1, j + 1);
        }
    t.vnode = {1, 1, n};
    t.vdir = {1, 2, 2};
    for (int c = 0; c < n; c++) t.qnode.push_back((n - 1) * n + c + 1);
    return t;
}

// Renumbers the nodes in a fixed random order.
Truss shuffled(const Truss &t) {
    const int nn = int(t.x.size());
    std::vector<int> to(nn); // to[old - 1]: new number - 1
    std::iota(to.begin(), to.end(), 0);
    std::mt19937 g(12345);
    for (int i = nn - 1; i > 0; i--) std::swap(to[i], to[int(g() % unsigned(i + 1))]);
    Truss u = t;
    for (int i = 0; i < nn; i++) u.x[to[i]] = t.x[i], u.y[to[i]] = t.y[i];
    for (int &n : u.a) n = to[n - 1] + 1;
    for (int &n : u.b) n = to[n - 1] + 1;
    for (int &n : u.vnode) n = to[n - 1] + 1;
    for (int &n : u.qnode) n = to[n - 1] + 1;
    return u;
}

void write(const Truss &t, bool strict) {
    std::printf("C");
    for (std::size_t i = 0; i < t.x.size(); i++) std::printf(" %g %g\n", t.x[i], t.y[i]);
    std::printf("B");
    for (std::size_t i = 0; i < t.a.size(); i++) std::printf(" %d %d 1\n", t.a[i], t.b[i]);
    std::printf("S 1 %s\n", strict ? "-100" : "2");
    std::printf("M 1000\n");
    std::printf("V");
    for (std::size_t i = 0; i < t.vnode.size(); i++) std::printf(" %d %d 0\n", t.vnode[i], t.vdir[i]);
    std::printf("Q");
    for (int q : t.qnode) std::printf(" %d 2 -1\n", q);
}

int usage() {
    std::fprintf(stderr, "usage: gen_truss bridge N | grid R C | ground N RADIUS  [shuffled] [strict]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) return usage();
    bool strict = false, shuffle = false;
    int nargs = argc;
    for (; nargs > 2; nargs--) {
        if (!std::strcmp(argv[nargs - 1], "strict")) strict = true;
        else if (!std::strcmp(argv[nargs - 1], "shuffled")) shuffle = true;
        else break;
    }
    Truss t;
    if (!std::strcmp(argv[1], "bridge") && nargs == 3) t = bridge(std::atoi(argv[2]));
    else if (!std::strcmp(argv[1], "grid") && nargs == 4) t = grid(std::atoi(argv[2]), std::atoi(argv[3]));
    else if (!std::strcmp(argv[1], "ground") && nargs == 4) t = ground(std::atoi(argv[2]), std::atof(argv[3]));
    else return usage();
    if (t.x.size() < 2) return usage();
    write(shuffle ? shuffled(t) : t, strict);
    return 0;
}

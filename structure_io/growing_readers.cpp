// Readers of the lists stored in input order, one entry per record: B, C/D,
// E/N, M and S. Each array grows by one record for every record begun; a
// repeated list restarts its arrays from the first entry.
#include "sio_private.h"

namespace {

// Ends a list normally: reports the count of complete records.
int done(int *n, int count) {
    if (n) *n = count;
    return READ_OK;
}

// Shared reader of the lists of one float per record.
int read_values(int *n, float_list *values, int echo) {
    for (int k = 0;; k++) {
        float x;
        if (in_float(&x, echo) != READ_OK) return done(n, k);
        resize_to(values, std::size_t(k) + 1);
        if (values) (*values)[k] = x;
    }
}

} // namespace

int in_B(int *n, int_list *ndb, int_list *sb, int echo) {
    macro_bars_begin();
    for (int k = 0;; k++) {
        int first, second, type;
        if (in_int(&first, echo) != READ_OK) return done(n, k);
        resize_to(ndb, 2 * (std::size_t(k) + 1));
        resize_to(sb, std::size_t(k) + 1);
        if (ndb) (*ndb)[2 * std::size_t(k)] = first;
        if (int r = in_int(&second, echo)) return r;
        if (ndb) (*ndb)[2 * std::size_t(k) + 1] = second;
        if (int r = in_int(&type, echo)) return r;
        if (sb) (*sb)[k] = type;
        macro_bar(k + 1, first, second);
    }
}

int in_ddn(int *n, float_list *pairs, int echo) {
    macro_nodes_begin();
    for (int k = 0;; k++) {
        float x, y;
        if (in_float(&x, echo) != READ_OK) return done(n, k);
        resize_to(pairs, 2 * (std::size_t(k) + 1));
        if (pairs) (*pairs)[2 * std::size_t(k)] = x;
        if (int r = in_float(&y, echo)) return r;
        if (pairs) (*pairs)[2 * std::size_t(k) + 1] = y;
        macro_node(k + 1, x, y);
    }
}

int in_ddb(int *n, float_list *values, int echo) { return read_values(n, values, echo); }

int in_tr(int *n, float_list *E, int echo) { return read_values(n, E, echo); }

int in_S(int *n, float_list *As, int_list *ms, int echo) {
    for (int k = 0;; k++) {
        int material;
        float area;
        if (in_int(&material, echo) != READ_OK) return done(n, k);
        resize_to(As, std::size_t(k) + 1);
        resize_to(ms, std::size_t(k) + 1);
        if (int r = in_float(&area, echo)) return r;
        if (ms) (*ms)[k] = material;
        if (As) (*As)[k] = area;
    }
}

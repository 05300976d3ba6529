#include "sio_capture.h"

#include <cstdio>

namespace {

struct ProcessEnd {
    int status;
};

[[noreturn]] void throw_end(int status) { throw ProcessEnd{status}; }

std::string slurp(FILE *f) {
    std::string s;
    std::fflush(f);
    std::rewind(f);
    int c;
    while ((c = std::getc(f)) != EOF) s.push_back(static_cast<char>(c));
    return s;
}

std::string remaining(FILE *f) {
    std::string s;
    int c;
    while ((c = std::getc(f)) != EOF) s.push_back(static_cast<char>(c));
    return s;
}

} // namespace

SioRun sio_run(const std::string &input, const std::function<void()> &fn) {
    SioRun run;
    FILE *in = std::tmpfile();
    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    FILE *old_in = sio_in, *old_out = sio_out, *old_err = sio_err;
    auto old_exit = sio_exit;
    sio_reset();
    sio_bind(in, out, err);
    sio_exit = throw_end;
    try {
        fn();
    } catch (const ProcessEnd &end) {
        run.status = end.status;
    }
    sio_exit = old_exit;
    sio_in = old_in;
    sio_out = old_out;
    sio_err = old_err;
    run.rest = remaining(in);
    run.out = slurp(out);
    run.err = slurp(err);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return run;
}

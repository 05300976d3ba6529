// Pieces shared by the fuzz targets: cutting fuzz data into a command line and
// an input text, binding the library's streams to them, and ending a run of
// the library without ending the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

/// Thrown by fuzz_exit in place of the process end that fin would cause.
struct FuzzEnd {
    int status; // the exit status the process would have ended with
};

/// Process-end hook for sio_exit: throws FuzzEnd, never returns.
[[noreturn]] void fuzz_exit(int status);

/// A command line and a standard input cut from one fuzz input.
struct FuzzCommand {
    std::vector<std::string> words; // argv[0] .. argv[argc-1]
    std::vector<char *> argv;       // pointers into words, null-terminated
    std::string input;              // what the program reads
    int argc() const { return static_cast<int>(words.size()); }
};

/// Cuts fuzz data into a command line and an input: the first byte, modulo 8,
/// is the number of words (argv[0] included, so 0 means no word at all); each
/// word ends at a NUL byte; every byte after the last word is the input.
FuzzCommand split_command(const uint8_t *data, size_t size);

/// Opens `text` as a readable stream (binary, NUL bytes included); `text` must
/// outlive the stream.
FILE *open_text(const std::string &text);

/// Returns a stream that discards what is written to it (opened once).
FILE *sink();

/// Points the process's standard output and input at /dev/null once, for code
/// that prints with printf or would otherwise wait on a terminal.
void silence_stdio();

/// Aborts with `what` on the error stream when `ok` is false: an invariant of
/// the library's interface was broken, which the fuzzer reports as a crash.
void require(bool ok, const char *what);

/// Runs a whole program in-process on `cmd`: resets the library and the
/// program's state, binds the input and sinks, and requires that every end
/// pass through the process end with status 0 or 1.
void run_program(FuzzCommand &cmd, void (*reset)(), int (*program)(int, char **));

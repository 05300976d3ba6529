// Skipping of blanks and comments, number reads, echo and debug traces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "sio_capture.h"
#include "structure_io.h"

namespace {

using namespace std::string_literals; // embedded NUL bytes in inputs

// Turns the library's debug traces on for one scope.
struct DebugOn {
    DebugOn() { debug = 1; }
    ~DebugOn() { debug = 0; }
};

// "%g" of a float, as printf writes it.
std::string g(float x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", double(x));
    return buf;
}

bool same_bits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// ---------------------------------------------------------------------------
// in_rem
// ---------------------------------------------------------------------------

struct RemCase {
    const char *label;
    std::string input;
    int echo;
    int status;
    std::string rest;
    std::string out;
};

TEST(InRem, SkipsBlanksAndComments) {
    const RemCase cases[] = {
        {"empty input", "", 1, READ_EOF, "", ""},
        {"all six blanks", " \t\r\n\v\f", 1, READ_EOF, "", " \t\r\n\v\f"},
        {"comments only", "# one\n  # two\n", 1, READ_EOF, "", "# one\n  # two\n"},
        {"comment at end, no newline", "  # tail", 1, READ_EOF, "", "  # tail"},
        {"comment holding #", "#a#b\nC 1", 1, READ_OK, "C 1", "#a#b\n"},
        {"blanks and comments before a letter", "  # c1\n\t# c2\r\n B 1", 1, READ_OK, "B 1",
         "  # c1\n\t# c2\r\n "},
        {"echo off", "  # c1\n\t B 1", 0, READ_OK, "B 1", ""},
        {"echo off, end of input", " # c", 0, READ_EOF, "", ""},
        {"significant at once", "x y", 1, READ_OK, "x y", ""},
        {"N pushed back as H", " N 1", 1, READ_OK, "H 1", " "},
        {"n pushed back as H", "\nn", 1, READ_OK, "H", "\n"},
        {"h stays h", "h", 1, READ_OK, "h", ""},
        {"NUL is significant", "\0x"s, 1, READ_OK, "\0x"s, ""},
        {"0xFF is significant", " \xff", 1, READ_OK, "\xff", " "},
        {"byte 0x80 is significant", "\x80", 1, READ_OK, "\x80", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        int st = 99;
        SioRun r = sio_run(c.input, [&] { st = in_rem(c.echo); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(InRem, DebugTraces) {
    struct Case {
        const char *label;
        std::string input;
        std::string err;
        std::string out;
    } cases[] = {
        {"blank then N", " N", "skipping ' ' (32)\nin_rem: unget: 'N' (78)\n", " "},
        {"comment, tab, n", "# ab\n\tn",
         "in_rem: # ab\nskipping '\t' (9)\nin_rem: unget: 'n' (110)\n", "# ab\n\t"},
        {"newline blank", "\nB", "skipping '\n' (10)\nin_rem: unget: 'B' (66)\n", "\n"},
        {"comment to end of input", "#tail", "in_rem: #tail", "#tail"},
        {"empty comment", "#\n7", "in_rem: #\nin_rem: unget: '7' (55)\n", "#\n"},
        {"empty input", "", "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        DebugOn on;
        SioRun r = sio_run(c.input, [&] { in_rem(1); });
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.out);
    }
}

// ---------------------------------------------------------------------------
// in_int
// ---------------------------------------------------------------------------

constexpr int kUntouched = -777;

struct IntCase {
    const char *label;
    std::string input;
    int echo;
    int status;
    int value; // kUntouched: the target must not be written
    std::string rest;
    std::string out;
};

TEST(InInt, ReadsLikePercentD) {
    const IntCase cases[] = {
        {"leading zeros", "007", 1, READ_OK, 7, "", "7"},
        {"plus sign", "+5 ", 1, READ_OK, 5, " ", "5"},
        {"minus zero", "-0", 1, READ_OK, 0, "", "0"},
        {"negative", "\t-12\n", 1, READ_OK, -12, "\n", "\t-12"},
        {"blanks and comment first", " # c\n\r\v\f42 3", 1, READ_OK, 42, " 3", " # c\n\r\v\f42"},
        {"comment right after", "5#x\n", 1, READ_OK, 5, "#x\n", "5"},
        {"letter right after", "12B", 1, READ_OK, 12, "B", "12"},
        {"decimal point ends it", "1.5", 1, READ_OK, 1, ".5", "1"},
        {"exponent not taken", "1e3", 1, READ_OK, 1, "e3", "1"},
        {"echo off", " 8 ", 0, READ_OK, 8, " ", ""},
        {"list letter", "  B 1", 1, READ_NOT_NUMBER, kUntouched, "B 1", "  "},
        {"letter after comment", "# c\nC", 1, READ_NOT_NUMBER, kUntouched, "C", "# c\n"},
        {"lone point stays", ".5", 1, READ_NOT_NUMBER, kUntouched, ".5", ""},
        {"minus then letter", "-x", 1, READ_NOT_NUMBER, kUntouched, "x", ""},
        {"plus then letter", "+B", 1, READ_NOT_NUMBER, kUntouched, "B", ""},
        {"lone sign then blank", "- 5", 1, READ_NOT_NUMBER, kUntouched, " 5", ""},
        {"lone sign at end", "-", 1, READ_NOT_NUMBER, kUntouched, "", ""},
        {"nan", "nan", 1, READ_NOT_NUMBER, kUntouched, "Han", ""},
        {"N", " N 1", 1, READ_NOT_NUMBER, kUntouched, "H 1", " "},
        {"NUL",
         "\0"s
         "1",
         1, READ_NOT_NUMBER, kUntouched,
         "\0"s
         "1",
         ""},
        {"0xFF", "\xff", 1, READ_NOT_NUMBER, kUntouched, "\xff", ""},
        {"empty input", "", 1, READ_EOF, kUntouched, "", ""},
        {"blanks and comment only", " \n# c", 1, READ_EOF, kUntouched, "", " \n# c"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        int x = kUntouched, st = 99;
        SioRun r = sio_run(c.input, [&] { st = in_int(&x, c.echo); });
        EXPECT_EQ(st, c.status);
        EXPECT_EQ(x, c.value);
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

// ---------------------------------------------------------------------------
// in_float
// ---------------------------------------------------------------------------

struct FloatCase {
    const char *label;
    std::string input;
    int status;
    float value; // compared bit for bit; NaN cases are checked separately
    std::string rest;
    std::string out;
};

TEST(InFloat, ReadsLikePercentG) {
    const float inf = std::numeric_limits<float>::infinity();
    const float untouched = -777.0f;
    const FloatCase cases[] = {
        {"trailing zero", "2.50", READ_OK, 2.5f, "", "2.5"},
        {"seven digits", "1234567", READ_OK, 1234567.0f, "", "1.23457e+06"},
        {"minus zero", "-0", READ_OK, -0.0f, "", "-0"},
        {"leading zeros", "007", READ_OK, 7.0f, "", "7"},
        {"plus sign", "+5", READ_OK, 5.0f, "", "5"},
        {"small", "0.00001", READ_OK, 0.00001f, "", "1e-05"},
        {"exponent", "1E3 ", READ_OK, 1000.0f, " ", "1000"},
        {"point first", ".5", READ_OK, 0.5f, "", "0.5"},
        {"hexadecimal", "0x1p3", READ_OK, 8.0f, "", "8"},
        {"inf", "inf", READ_OK, inf, "", "inf"},
        {"minus infinity", "-Infinity\n", READ_OK, -inf, "\n", "-inf"},
        {"comment right after", "5#x\n", READ_OK, 5.0f, "#x\n", "5"},
        {"blanks first", " \r\n\v\f7", READ_OK, 7.0f, "", " \r\n\v\f7"},
        {"letter right after", "4B", READ_OK, 4.0f, "B", "4"},
        {"direct to single precision", "1.0000000596046448", READ_OK, 1.00000012f, "", "1"},
        {"list letter", "\tS 1", READ_NOT_NUMBER, untouched, "S 1", "\t"},
        {"E cannot begin a number", " E", READ_NOT_NUMBER, untouched, "E", " "},
        {"nan without sign", "nan", READ_NOT_NUMBER, untouched, "Han", ""},
        {"NaN without sign", " NaN", READ_NOT_NUMBER, untouched, "HaN", " "},
        {"minus then letter", "-x", READ_NOT_NUMBER, untouched, "x", ""},
        {"lone point", ". 5", READ_NOT_NUMBER, untouched, " 5", ""},
        {"lone sign", "+", READ_NOT_NUMBER, untouched, "", ""},
        {"NUL", "\0"s, READ_NOT_NUMBER, untouched, "\0"s, ""},
        {"empty input", "", READ_EOF, untouched, "", ""},
        {"comment at end", "  # c", READ_EOF, untouched, "", "  # c"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        float x = untouched;
        int st = 99;
        SioRun r = sio_run(c.input, [&] { st = in_float(&x, 1); });
        EXPECT_EQ(st, c.status);
        EXPECT_TRUE(same_bits(x, c.value)) << g(x) << " vs " << g(c.value);
        EXPECT_EQ(r.rest, c.rest);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }
}

TEST(InFloat, SignedNanIsRead) {
    for (const char *text : {"+nan", "-nan", "-NAN"}) {
        SCOPED_TRACE(text);
        float x = 0.0f;
        int st = 99;
        SioRun r = sio_run(std::string(text) + " 1", [&] { st = in_float(&x, 1); });
        const float ref = std::strtof(text, nullptr);
        EXPECT_EQ(st, READ_OK);
        EXPECT_TRUE(std::isnan(x));
        EXPECT_EQ(std::signbit(x), std::signbit(ref));
        EXPECT_EQ(r.out, g(x));
        EXPECT_EQ(r.rest, " 1");
    }
}

TEST(InFloat, EchoOffWritesNothing) {
    float x = 0.0f;
    SioRun r = sio_run(" # c\n 2.50 ", [&] { EXPECT_EQ(in_float(&x, 0), READ_OK); });
    EXPECT_EQ(x, 2.5f);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.rest, " ");
}

// ---------------------------------------------------------------------------
// Sequences and traces
// ---------------------------------------------------------------------------

TEST(Lexical, EchoNormalisesNumbersAndKeepsEverythingElse) {
    int a = 0, b = 0, c = 0;
    float f = 0.0f;
    int last = 99;
    SioRun r = sio_run("007 +5\t# note\r\n-0 2.50#x\n\n", [&] {
        EXPECT_EQ(in_int(&a, 1), READ_OK);
        EXPECT_EQ(in_int(&b, 1), READ_OK);
        EXPECT_EQ(in_int(&c, 1), READ_OK);
        EXPECT_EQ(in_float(&f, 1), READ_OK);
        last = in_int(&a, 1);
    });
    EXPECT_EQ(last, READ_EOF);
    EXPECT_EQ(r.out, "7 5\t# note\r\n0 2.5#x\n\n");
}

TEST(Lexical, FailedReadLeavesListLetterForNextRead) {
    int x = 0;
    SioRun r = sio_run("1 2\n# end of bars\nC 0 0", [&] {
        EXPECT_EQ(in_int(&x, 1), READ_OK);
        EXPECT_EQ(in_int(&x, 1), READ_OK);
        EXPECT_EQ(in_int(&x, 1), READ_NOT_NUMBER);
        EXPECT_EQ(in_int(&x, 1), READ_NOT_NUMBER); // still there
    });
    EXPECT_EQ(x, 2);
    EXPECT_EQ(r.rest, "C 0 0");
    EXPECT_EQ(r.out, "1 2\n# end of bars\n");
}

TEST(Lexical, NumberReadTraces) {
    DebugOn on;
    int i = 0;
    float f = 0.0f;
    SioRun r = sio_run(" 7\n2.50", [&] {
        in_int(&i, 0);
        in_float(&f, 0);
    });
    EXPECT_EQ(r.err, "skipping ' ' (32)\nin_rem: unget: '7' (55)\nin_int: 7\n"
                     "skipping '\n' (10)\nin_rem: unget: '2' (50)\nin_float: 2.5\n");
    EXPECT_EQ(r.out, "");
}

TEST(Lexical, FailedReadHasNoValueTrace) {
    DebugOn on;
    int i = 0;
    SioRun r = sio_run("B", [&] { in_int(&i, 0); });
    EXPECT_EQ(r.err, "in_rem: unget: 'B' (66)\n");
}

} // namespace

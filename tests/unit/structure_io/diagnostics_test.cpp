// Program name, process end, immediate warnings and the deferred-message buffer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "sio_capture.h"
#include "structure_io.h"

namespace {

std::string held() {
    return std::string(bufferg);
}

// ---------------------------------------------------------------------------
// prg_name
// ---------------------------------------------------------------------------

struct NameCase {
    const char *word;
    const char *name; // expected result
    size_t offset;    // where the result starts inside the word
};

TEST(PrgName, ReducesInvocationWordInPlace) {
    const NameCase cases[] = {
        {"/usr/local/bin/zelk", "zelk", 15},
        {"a/b/c/d/e/zelk", "zelk", 10},
        {"C:\\tools\\bin\\zelkad.exe", "zelkad", 13},
        {"zelk.old.sh", "zelk", 0},
        {"x:y:zelk", "y:zelk", 2},    // only the first colon counts
        {"/opt/x.y/zelk", "zelk", 9}, // directories go before the dot cut
        {"/opt/x.y/zelk.bin", "zelk", 9},
        {"a\\b/c\\zelk", "zelk", 6},  // last backslash, then no slash left
        {"a/b\\c/zelk.x", "zelk", 6}, // last backslash, then last slash
        {"/a/b:c/zelk", "zelk", 7},   // colon first, then the slash after it
        {"zelk", "zelk", 0},
        {"dudo2va", "dudo2va", 0},
        {"/usr/bin/", "", 9},     // ends in a separator: empty name
        {"/home/u/.zelk", "", 8}, // hidden file: empty name
        {"C:", "", 2},
        {"", "", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.word);
        char word[64];
        std::snprintf(word, sizeof word, "%s", c.word);
        char *r = prg_name(word);
        ASSERT_NE(r, nullptr);
        EXPECT_STREQ(r, c.name);
        EXPECT_EQ(r, word + c.offset) << "the name must point into the caller's word";
    }
}

TEST(PrgName, CutsAtFirstDotInsideCallersString) {
    char word[] = "bin/zelk.old.sh";
    char *r = prg_name(word);
    EXPECT_EQ(r, word + 4);
    EXPECT_EQ(word[8], '\0');                         // the first dot was overwritten
    EXPECT_EQ(std::memcmp(word + 9, "old.sh", 7), 0); // the rest of the storage is kept
}

TEST(PrgName, MissingWordGivesNull) {
    EXPECT_EQ(prg_name(nullptr), nullptr);
}

// ---------------------------------------------------------------------------
// fin and aviso through the capturing helper
// ---------------------------------------------------------------------------

struct EndCase {
    const char *label;
    const char *prg;
    const char *msg;
    const char *err;
    int status;
};

TEST(Fin, MessageBytesAndStatus) {
    const EndCase cases[] = {
        {"null message", "zelk", nullptr, "", 0},
        {"semantic error", "zelk", "semantic error", "\nzelk: semantic error\n", 1},
        {"other name", "zelkad", "Error into bars list", "\nzelkad: Error into bars list\n", 1},
        {"empty message", "zelk", "", "\nzelk: \n", 1},
        {"empty name", "", "x", "\n: x\n", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        bool returned = false;
        SioRun r = sio_run("", [&] {
            std::fputs("results so far\n", sio_out);
            fin(c.prg, c.msg);
            returned = true;
        });
        EXPECT_FALSE(returned);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "results so far\n");
    }
}

TEST(Aviso, WritesWarningAndReturns) {
    const EndCase cases[] = {
        {"warning", "zelk", "modulus must be a positive number: fixed",
         "\nzelk: warning: modulus must be a positive number: fixed\n", -1},
        {"null message", "zelk", nullptr, "", -1},
        {"empty message", "zelkad", "", "\nzelkad: warning: \n", -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        bool returned = false;
        SioRun r = sio_run("", [&] {
            aviso(c.prg, c.msg);
            returned = true;
        });
        EXPECT_TRUE(returned);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
        EXPECT_STREQ(bufferg, "") << "an immediate warning is not deferred";
    }
}

// ---------------------------------------------------------------------------
// fin on the real exit path: a child process, its real standard streams
// ---------------------------------------------------------------------------

std::string read_all(FILE *f) {
    std::string s;
    std::rewind(f);
    int c;
    while ((c = std::getc(f)) != EOF)
        s.push_back(static_cast<char>(c));
    return s;
}

struct ChildEnd {
    bool exited = false;
    int status = -1;
    std::string out, err;
};

// Runs fin(prg, msg) in a child whose stdout and stderr are files; the child
// first leaves unflushed text in stdout's buffer.
ChildEnd run_fin_in_child(const char *prg, const char *msg) {
    ChildEnd end;
    FILE *out = std::tmpfile();
    FILE *err = std::tmpfile();
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fileno(out), 1);
        dup2(fileno(err), 2);
        sio_reset();
        sio_bind(stdin, stdout, stderr);
        std::fputs("partial results, no newline", stdout);
        fin(prg, msg);
        _exit(99); // fin returned: a fault
    }
    int ws = 0;
    waitpid(pid, &ws, 0);
    end.exited = WIFEXITED(ws);
    end.status = end.exited ? WEXITSTATUS(ws) : -1;
    end.out = read_all(out);
    end.err = read_all(err);
    std::fclose(out);
    std::fclose(err);
    return end;
}

TEST(FinProcess, MessageEndsWithStatusOneAndFlushesOutput) {
    ChildEnd e = run_fin_in_child("zelk", "semantic error");
    ASSERT_TRUE(e.exited);
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.err, "\nzelk: semantic error\n");
    EXPECT_EQ(e.out, "partial results, no newline");
}

TEST(FinProcess, NullMessageEndsWithStatusZeroSilently) {
    ChildEnd e = run_fin_in_child("zelk", nullptr);
    ASSERT_TRUE(e.exited);
    EXPECT_EQ(e.status, 0);
    EXPECT_EQ(e.err, "");
    EXPECT_EQ(e.out, "partial results, no newline");
}

TEST(FinDeathTest, ExitsWithStatusOne) {
    EXPECT_EXIT(
        {
            sio_bind(stdin, stdout, stderr);
            fin("zelk", "semantic error");
        },
        testing::ExitedWithCode(1), "\nzelk: semantic error\n");
}

// ---------------------------------------------------------------------------
// addmsg: the 389-character cap
// ---------------------------------------------------------------------------

struct AddCase {
    const char *label;
    size_t held;     // characters already in bufferg ('a')
    size_t msg;      // length of the message appended ('b')
    size_t appended; // characters of it that must arrive
};

TEST(Addmsg, KeepsTextWithin389Characters) {
    const AddCase cases[] = {
        {"short into empty", 0, 20, 20}, {"380 held, 20 more", 380, 20, 9},
        {"exactly fills", 369, 20, 20},  {"389 held", 389, 20, 0},
        {"388 held", 388, 5, 1},         {"long into empty", 0, 500, 389},
        {"empty message", 100, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        SioRun r = sio_run("", [&] {
            std::memset(bufferg + 390, 0xAB, sizeof bufferg - 390);
            if (c.held) addmsg(std::string(c.held, 'a').c_str());
            addmsg(std::string(c.msg, 'b').c_str());
        });
        EXPECT_EQ(held(), std::string(c.held, 'a') + std::string(c.appended, 'b'));
        for (size_t i = 390; i < sizeof bufferg; ++i)
            EXPECT_EQ(static_cast<unsigned char>(bufferg[i]), 0xAB) << "byte " << i;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, -1);
    }
}

TEST(Addmsg, CutMessageLosesItsNewlineAndLaterOnesAddNothing) {
    sio_run("", [] {
        for (int i = 0; i < 38; ++i)
            addmsg("123456789\n");       // 380 characters
        addmsg("abcdefghijklmnopqrs\n"); // 20: only 9 fit
        addmsg("more\n");
        addmsg("x");
    });
    std::string expect;
    for (int i = 0; i < 38; ++i)
        expect += "123456789\n";
    expect += "abcdefghi";
    EXPECT_EQ(held(), expect);
    EXPECT_EQ(held().size(), 389u);
}

TEST(Addmsg, BufferStartsEmptyAfterReset) {
    sio_run("", [] { addmsg("left over\n"); });
    sio_run("", [] {});
    EXPECT_STREQ(bufferg, "");
}

// ---------------------------------------------------------------------------
// avisozelk: deferred warning line, bounded in bufferp
// ---------------------------------------------------------------------------

struct DeferCase {
    size_t msg;       // message length ('m' characters)
    std::string line; // what must arrive in bufferg
};

TEST(Avisozelk, QueuesBoundedLineAndWritesNothing) {
    const std::string m70(70, 'm');
    const DeferCase cases[] = {
        {0, "warning: \n"},
        {33, "warning: " + std::string(33, 'm') + "\n"},
        {69, "warning: " + std::string(69, 'm') + "\n"}, // 79 characters: fits
        {70, "warning: " + m70},                         // 80 would not: cut to 79
        {71, "warning: " + m70},
        {200, "warning: " + m70},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.msg);
        SioRun r = sio_run("", [&] { avisozelk(std::string(c.msg, 'm').c_str()); });
        EXPECT_EQ(held(), c.line);
        EXPECT_LE(std::strlen(bufferp), 79u);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, -1);
    }
}

TEST(Avisozelk, ReactionsWarningAdds43Characters) {
    sio_run("", [] {
        addmsg("x");
        avisozelk("omiting reading of reactions list");
    });
    EXPECT_EQ(held(), "xwarning: omiting reading of reactions list\n");
    EXPECT_EQ(held().size(), 1u + 43u);
}

TEST(Avisozelk, RespectsTheCapOfTheBuffer) {
    sio_run("", [] {
        addmsg(std::string(380, 'a').c_str());
        avisozelk("omiting reading of reactions list");
    });
    EXPECT_EQ(held(), std::string(380, 'a') + "warning: ");
}

} // namespace

// Cross-reference check: bar ends, section types and materials against their
// counts, every fault collected and reported at once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sio_capture.h"
#include "structure_io.h"

namespace {

struct DebugOn {
    DebugOn() { debug = 1; }
    ~DebugOn() { debug = 0; }
};

// The lists as the readers left them; a list not wanted by the caller is
// passed as null, and so are the counts the check must not need.
struct Lists {
    int nb = 0, nn = 0, ns = 0, nm = 0;
    int_list ndb, sb, ms;
    bool want_ndb = true, want_sb = true, want_ms = true;
};

void check(const char *prg, Lists &l) {
    check_stdin(prg, &l.nb, nullptr, l.want_ms ? &l.nm : nullptr, l.want_ndb ? &l.nn : nullptr,
                (l.want_sb || l.want_ms) ? &l.ns : nullptr, nullptr, nullptr, nullptr, nullptr,
                l.want_ms ? &l.ms : nullptr, l.want_ndb ? &l.ndb : nullptr, nullptr,
                l.want_sb ? &l.sb : nullptr, nullptr, nullptr, nullptr);
}

Lists sound() {
    Lists l;
    l.nn = 3;
    l.nb = 2;
    l.ndb = {1, 2, 2, 3};
    l.sb = {1, 1};
    l.ns = 1;
    l.ms = {1};
    l.nm = 1;
    return l;
}

struct CheckCase {
    const char *label;
    Lists lists;
    std::string faults; // the collected messages; empty: the check returns
};

std::vector<CheckCase> cases() {
    std::vector<CheckCase> v;
    v.push_back({"everything in range", sound(), ""});
    {
        Lists l;
        v.push_back({"no bars, no section types", l, ""});
    }
    {
        Lists l = sound();
        l.ndb = {1, 2, 2, 7};
        v.push_back({"second end of bar 2", l, "zelk: end 2 of bar 2 out of range: 7\n"});
    }
    {
        Lists l = sound();
        l.nb = 4;
        l.ndb = {0, 1, 3, -1, 4, 3, 1, 3};
        l.sb = {1, 1, 1, 1};
        v.push_back({"node 0, negative, nn+1; 1 and nn pass", l,
                     "zelk: end 1 of bar 1 out of range: 0\n"
                     "zelk: end 2 of bar 2 out of range: -1\n"
                     "zelk: end 1 of bar 3 out of range: 4\n"});
    }
    {
        Lists l = sound();
        l.nb = 3;
        l.ndb = {1, 2, 2, 3, 3, 1};
        l.sb = {0, 2, 1};
        v.push_back({"section type 0 and ns+1", l,
                     "zelk: section-type of 1 out of range: 0\n"
                     "zelk: section-type of 2 out of range: 2\n"});
    }
    {
        Lists l = sound();
        l.ndb = {5, 6, 1, 2};
        l.sb = {9, 3};
        l.ns = 2;
        l.ms = {1, 2};
        v.push_back({"bar by bar, then materials", l,
                     "zelk: end 1 of bar 1 out of range: 5\n"
                     "zelk: end 2 of bar 1 out of range: 6\n"
                     "zelk: section-type of 1 out of range: 9\n"
                     "zelk: section-type of 2 out of range: 3\n"
                     "zelk: material of section-type 2 out of range: 2\n"});
    }
    {
        Lists l = sound();
        l.sb = {1, 5};
        l.ns = 5;
        l.nm = 2;
        l.ms = {1, 2, 3, 2, 0};
        v.push_back({"two materials, five section types", l,
                     "zelk: material of section-type 3 out of range: 3\n"
                     "zelk: material of section-type 5 out of range: 0\n"});
    }
    {
        Lists l = sound();
        l.ns = 2;
        l.ms = {1, 1};
        l.nm = 0;
        v.push_back({"no material list", l,
                     "zelk: material of section-type 1 out of range: 1\n"
                     "zelk: material of section-type 2 out of range: 1\n"});
    }
    {
        Lists l = sound();
        l.sb = {0, 0};
        l.want_sb = l.want_ms = false; // as the drawing program calls it
        v.push_back({"section types not read", l, ""});
    }
    {
        Lists l = sound();
        l.ndb = {9, 9, 9, 9};
        l.want_ndb = false; // node count not given either
        l.sb = {1, 2};
        v.push_back({"bar ends not read", l, "zelk: section-type of 2 out of range: 2\n"});
    }
    return v;
}

TEST(CheckStdin, CollectsEveryFaultInOrder) {
    for (auto &c : cases()) {
        SCOPED_TRACE(c.label);
        bool returned = false;
        SioRun r = sio_run("", [&] {
            check("zelk", c.lists);
            returned = true;
        });
        if (c.faults.empty()) {
            EXPECT_TRUE(returned);
            EXPECT_EQ(r.status, -1);
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_FALSE(returned);
            EXPECT_EQ(r.status, 1);
            // fin's own name, then the messages (each naming the program), then fin's newline.
            EXPECT_EQ(r.err, "\nzelk: " + c.faults + "\n");
        }
        EXPECT_EQ(r.out, "");
    }
}

TEST(CheckStdin, DeferredWarningComesFirst) {
    Lists l = sound();
    l.ndb = {1, 2, 2, 7};
    SioRun r = sio_run("", [&] {
        avisozelk("omiting reading of reactions list");
        check("zelk", l);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nzelk: warning: omiting reading of reactions list\n"
                     "zelk: end 2 of bar 2 out of range: 7\n\n");
}

TEST(CheckStdin, DeferredWarningAloneEndsTheRun) {
    Lists l = sound();
    SioRun r = sio_run("", [&] {
        avisozelk("omiting reading of reactions list");
        check("zelk", l);
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nzelk: warning: omiting reading of reactions list\n\n");
}

TEST(CheckStdin, CollectedTextIsCappedAt389) {
    // Six bars whose ends are all node 7: twelve messages of 37 characters.
    Lists l;
    l.nn = 3;
    l.nb = 6;
    l.ndb.assign(12, 7);
    l.sb.assign(6, 1);
    l.ns = 1;
    l.ms = {1};
    l.nm = 1;
    SioRun r = sio_run("", [&] { check("zelk", l); });

    std::string held;
    for (int bar = 1; bar <= 5; ++bar)
        for (int end = 1; end <= 2; ++end)
            held += "zelk: end " + std::to_string(end) + " of bar " + std::to_string(bar) +
                    " out of range: 7\n";
    ASSERT_EQ(held.size(), 370u);
    held += "zelk: end 1 of bar "; // the eleventh keeps 19 characters, the twelfth none
    EXPECT_EQ(std::string(bufferg), held);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\nzelk: " + held + "\n");
}

TEST(CheckStdin, LongNameCutsEachMessageTo78) {
    const std::string name(60, 'p');
    Lists l = sound();
    l.ndb = {8, 9, 1, 2};
    SioRun r = sio_run("", [&] {
        std::memset(bufferp, 0x5A, sizeof bufferp);
        check(name.c_str(), l);
    });
    const std::string m1 = name + ": end 1 of bar 1 out of range: 8\n";
    const std::string m2 = name + ": end 2 of bar 1 out of range: 9\n";
    const std::string held = m1.substr(0, 78) + m2.substr(0, 78);
    EXPECT_EQ(std::string(bufferg), held);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\n" + name + ": " + held + "\n");
    EXPECT_EQ(bufferp[78], '\0');
    EXPECT_EQ(bufferp[79], 0x5A) << "a message takes at most 79 bytes of bufferp";
}

TEST(CheckStdin, DebugTraces) {
    DebugOn on;
    Lists l = sound();
    l.nb = 1;
    l.ndb = {1, 7};
    l.sb = {2};
    SioRun r = sio_run("", [&] { check("zelk", l); });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "check_stdin: begin (zelk)\n"
                     "check_stdin: bar 1\n"
                     "check_stdin: bar 1, end:0->1\n"
                     "check_stdin: bar 1, end:1->7\n"
                     "check_stdin: bar 1, check sec-type...\n"
                     "check_stdin: bar 1, sec-type:2\n"
                     "check_stdin: bars checked\n"
                     "check_stdin: sectypes checked\n"
                     "\nzelk: zelk: end 2 of bar 1 out of range: 7\n"
                     "zelk: section-type of 1 out of range: 2\n\n");
}

} // namespace

// The expectation matcher, fed recorded events without a gateway: what meets
// an expectation, what it passes over, and what it must refuse.
#include <gtest/gtest.h>

#include "expectations.h"

namespace {

line_spec expectation(const std::string& verb, const std::string& text, const std::string& path = "")
{
    line_spec l;
    l.number = 4;
    l.verb = find_verb(verb)->id;
    l.text = text;
    l.path = path;
    return l;
}

// The gateway wrote bytes to the radio at time at.
void serial_at(record* r, const std::string& bytes, double at)
{
    r->serial += bytes;
    r->serial_at.insert(r->serial_at.end(), bytes.size(), at);
}

std::vector<std::string> texts(const std::vector<finding>& found)
{
    std::vector<std::string> out;
    for (const finding& f : found)
        out.push_back(std::to_string(f.line) + ": " + f.what);
    return out;
}

TEST(Matcher, MasksTimestampsAndDigits)
{
    const struct {
        const char* want;
        const char* got;
        bool match;
    } cases[] = {
        {"{n} log lines dropped", "12 log lines dropped", true},
        {"{n} log lines dropped", " log lines dropped", false},
        {"STATUS=last {n} s ago", "STATUS=last 3 s ago", true},
        {"WATCHDOG=1", "WATCHDOG=1 ", false},
        {"a{n}", "a12b", false},
        {"{n}", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(matches_digits(c.want, c.got), c.match) << c.want << " / " << c.got;
    EXPECT_EQ(masked("CALL,x,07.12.2026 14:03:59,NO USER"), "CALL,x,{time},NO USER");
    EXPECT_EQ(masked("<07.12.26 14:03:59> data"), "{stamp} data");
    EXPECT_EQ(masked("07.12.26 14:03:5"), "07.12.26 14:03:5") << "a cut stamp stays";
    EXPECT_TRUE(periodic(">>CALL"));
    EXPECT_TRUE(periodic("CALL,COMMENT,{time},NO USER,POS,#232,999999,"));
    EXPECT_FALSE(periodic("::CALL;1234567;hi;"));
}

TEST(Matcher, SentIsTheNextBytesAfterTheCause)
{
    record r;
    serial_at(&r, "ATE0\r", 1.0);
    serial_at(&r, "AT+CTSP=1,3,131\r", 2.0);
    std::vector<finding> found;
    EXPECT_DOUBLE_EQ(expect(&r, expectation("sent", "ATE0\r"), 0.5, false, &found), 1.0);
    EXPECT_DOUBLE_EQ(expect(&r, expectation("sent", "AT+CTSP=1,3,131\r"), 0.5, false, &found), 2.0);
    EXPECT_TRUE(found.empty());
    EXPECT_LT(expect(&r, expectation("sent", "ATZ\r"), 0.5, false, &found), 0) << "not there yet";
    EXPECT_TRUE(found.empty()) << "a miss is said only on the last look";
    expect(&r, expectation("sent", "ATZ\r"), 0.5, true, &found);
    EXPECT_EQ(texts(found),
              std::vector<std::string>{"4: the radio never got \"ATZ\\r\"; after the last match it got \"\""});

    record skipped;
    serial_at(&skipped, "ATZ\rATE0\r", 1.0);
    found.clear();
    EXPECT_GE(expect(&skipped, expectation("sent", "ATE0\r"), 0, false, &found), 0);
    EXPECT_EQ(texts(found), std::vector<std::string>{"4: before \"ATE0\\r\" the radio got \"ATZ\\r\""});
}

// An expectation met by something that happened before the steps that
// should cause it fails although its bytes are right.
TEST(Matcher, EffectBeforeItsCauseFails)
{
    record r;
    serial_at(&r, "AT+CMGS=1234567,32\r", 1.0);
    r.datagrams.push_back({1.5, "::CALL;1234567;hi;\n"});
    r.writes["/tmp/ptt"].push_back({1.6, "O"});
    r.console.push_back({1.7, "held"});
    std::vector<finding> found;
    double since = 2.0;
    EXPECT_GE(expect(&r, expectation("sent", "AT+CMGS=1234567,32\r"), since, false, &found), 0);
    EXPECT_GE(expect(&r, expectation("datagram", "::CALL;1234567;hi;\n"), since, false, &found), 0);
    EXPECT_GE(expect(&r, expectation("file", "O", "/tmp/ptt"), since, false, &found), 0);
    EXPECT_EQ(texts(found), (std::vector<std::string>{
                                "4: \"AT+CMGS=1234567,32\\r\" was written before the step that should cause it",
                                "4: datagram \"::CALL;1234567;hi;\\n\" came before the step that should cause it",
                                "4: write of /tmp/ptt \"O\" came before the step that should cause it"}));
    found.clear();
    EXPECT_LT(expect(&r, expectation("console", "held"), since, true, &found), 0) << "console lines before are skipped";
    EXPECT_EQ(texts(found), std::vector<std::string>{"4: no console line \"held\""});
}

TEST(Matcher, DatagramsSkipKeepalivesAndReportTheUnexpected)
{
    record r;
    r.datagrams = {{1.0, ">>CALL"}, {1.1, "::stray;"}, {1.2, "CALL,x,07.12.2026 14:03:59,NO USER"}, {1.3, ">>CALL"}};
    std::vector<finding> found;
    EXPECT_DOUBLE_EQ(expect(&r, expectation("datagram", "CALL,x,{time},NO USER"), 0.5, false, &found), 1.2);
    EXPECT_EQ(texts(found), std::vector<std::string>{"4: unexpected datagram: ::stray;"});
    found.clear();
    EXPECT_DOUBLE_EQ(expect(&r, expectation("datagram", ">>CALL"), 1.25, false, &found), 1.3)
        << "a keepalive is looked for after the step only";
    r.datagrams.push_back({2.0, "::late;"});
    r.writes["/tmp/dtmf_ctrl"] = {{2.1, "1"}};
    serial_at(&r, "AT\r", 2.2);
    leftovers(&r, &found);
    EXPECT_EQ(texts(found), (std::vector<std::string>{"0: unexpected bytes to the radio: \"AT\\r\"",
                                                      "0: unexpected datagram: ::late;",
                                                      "0: unexpected write of /tmp/dtmf_ctrl: 1"}));
    found.clear();
    leftovers(&r, &found);
    EXPECT_EQ(found.size(), 1u) << "datagrams and writes are reported once; the radio bytes stay unmatched";
}

// A session made from a log names only part of what the gateway did: the
// rest is passed over, and what came before the cause does not meet a line.
TEST(Matcher, OnlyNamedSkipsTheUnnamed)
{
    record r;
    serial_at(&r, "AT+CTSDS=12,0\r", 1.0);
    serial_at(&r, "ATZ\rAT+CTSDS=12,0\rAT\r", 3.0);
    r.datagrams = {{1.0, "::a;"}, {2.5, "::b;"}, {3.0, "::a;"}, {3.5, "::c;"}};
    std::vector<finding> found;
    const unnamed_kinds all = {true, true, true};
    EXPECT_DOUBLE_EQ(expect(&r, expectation("sent", "AT+CTSDS=12,0\r"), 2.0, false, &found, all), 3.0);
    EXPECT_DOUBLE_EQ(expect(&r, expectation("datagram", "::a;"), 2.0, false, &found, all), 3.0);
    leftovers(&r, &found, all);
    EXPECT_TRUE(found.empty()) << texts(found)[0];
    // A recorded session names every radio byte but no datagram.
    leftovers(&r, &found, {false, true, false});
    EXPECT_EQ(texts(found), std::vector<std::string>{"0: unexpected bytes to the radio: \"AT\\r\""});
}

TEST(Matcher, ConsoleAndNotifyInOrderWithDigits)
{
    record r;
    r.console = {{1.0, "one"}, {1.1, "3 log lines dropped"}, {1.2, "two"}, {1.3, "one"}};
    r.notices = {{1.0, "READY=1"}, {1.1, "STATUS=Radio last heard 4 s ago"}};
    std::vector<finding> found;
    EXPECT_DOUBLE_EQ(expect(&r, expectation("console", "two"), 0, false, &found), 1.2);
    EXPECT_DOUBLE_EQ(expect(&r, expectation("console", "one"), 0, false, &found), 1.3) << "the cursor moved on";
    EXPECT_LT(expect(&r, expectation("console", "two"), 0, false, &found), 0);
    EXPECT_DOUBLE_EQ(expect(&r, expectation("notify", "STATUS=Radio last heard {n} s ago"), 0, false, &found), 1.1);
    EXPECT_TRUE(found.empty());

    line_spec never = expectation("console", "{n} log lines dropped");
    never.never = true;
    never.after = 0.5;
    expect_none(r, never, 1.2, &found);
    EXPECT_TRUE(found.empty()) << "it came before the window";
    expect_none(r, never, 0.9, &found);
    EXPECT_EQ(texts(found), std::vector<std::string>{"4: \"{n} log lines dropped\" came, and should not have"});
}

TEST(Matcher, TimedExpectations)
{
    const struct {
        double after;
        bool within;
        double at; // after the line before
        const char* finding;
    } cases[] = {
        {2, false, 2.0, nullptr},
        {2, false, 1.85, nullptr},
        {2, false, 1.75, "4: came after 1.75 s, not 2.00 s"},
        {2, false, 2.55, nullptr},
        {2, false, 2.65, "4: came after 2.65 s, not 2.00 s"},
        {1, true, 0.0, nullptr},
        {1, true, 1.7, "4: came after 1.70 s, not within 1.00 s"},
        {-1, false, 99, nullptr},
    };
    for (const auto& c : cases) {
        line_spec l = expectation("sent", "ATZ\r");
        l.after = c.after;
        l.within = c.within;
        std::vector<finding> found;
        check_timing(l, 10 + c.at, 10, &found);
        EXPECT_EQ(texts(found), c.finding ? std::vector<std::string>{c.finding} : std::vector<std::string>{})
            << c.after << " " << c.at;
    }
}

TEST(Matcher, SanitizerReportFailsTheSession)
{
    record r;
    r.console = {{1.0, "WARNING: ThreadSanitizer: data race (pid=7)"}};
    std::vector<finding> found;
    leftovers(&r, &found);
    EXPECT_EQ(texts(found), std::vector<std::string>{
                                "0: the gateway's sanitizer reported: WARNING: ThreadSanitizer: data race (pid=7)"});
}

} // namespace

// The session file parser: every verb, the prefixes, the header words and
// the errors a mistyped line gets.
#include <gtest/gtest.h>

#include <fstream>

#include "session_file.h"

namespace {

struct parsed_line {
    const char* line;
    const char* verb;
    const char* text;
    const char* path;
    double after;
    bool within;
    bool never;
    int repeat;
};

TEST(SessionFile, StepsAndExpectations)
{
    const parsed_line cases[] = {
        {"radio +CTSDSR: 13,2620001,0,1000001,0,16", "radio", "+CTSDSR: 13,2620001,0,1000001,0,16", "", -1, 0, 0, 1},
        {"radio-bytes AT\\r\\x1A", "radio-bytes", "AT\r\x1A", "", -1, 0, 0, 1},
        {"reflector ::NET;CALL;PC:1234567:hi;", "reflector", "::NET;CALL;PC:1234567:hi;", "", -1, 0, 0, 1},
        {"reflector-from 127.0.0.2 ::x", "reflector-from", "::x", "127.0.0.2", -1, 0, 0, 1},
        {"local 1234567hello", "local", "1234567hello", "", -1, 0, 0, 1},
        {"answer ERROR", "answer", "ERROR", "", -1, 0, 0, 1},
        {"answer", "answer", "", "", -1, 0, 0, 1},
        {"wait 6s", "wait", "6s", "", 6, 0, 0, 1},
        {"wait 500ms", "wait", "500ms", "", 0.5, 0, 0, 1},
        {"signal INT", "signal", "INT", "", -1, 0, 0, 1},
        {"unplug", "unplug", "", "", -1, 0, 0, 1},
        {"plug", "plug", "", "", -1, 0, 0, 1},
        {"put /tmp/dtmf_ctrl old text", "put", "old text", "/tmp/dtmf_ctrl", -1, 0, 0, 1},
        {"link /tmp/dtmf_ctrl precious", "link", "precious", "/tmp/dtmf_ctrl", -1, 0, 0, 1},
        {"stdout stall", "stdout", "stall", "", -1, 0, 0, 1},
        {"terminal /tmp/dtmf_ctrl", "terminal", "", "/tmp/dtmf_ctrl", -1, 0, 0, 1},
        {"fifo /tmp/ptt", "fifo", "", "/tmp/ptt", -1, 0, 0, 1},
        {"fifo /tmp/ptt read", "fifo", "read", "/tmp/ptt", -1, 0, 0, 1},
        {"reader /tmp/dtmf_ctrl stall", "reader", "stall", "/tmp/dtmf_ctrl", -1, 0, 0, 1},
        {"owner /tmp/dtmf_ctrl 65534", "owner", "65534", "/tmp/dtmf_ctrl", -1, 0, 0, 1},
        {"radio-output stop", "radio-output", "stop", "", -1, 0, 0, 1},
        {"reflector-at 127.0.0.2", "reflector-at", "127.0.0.2", "", -1, 0, 0, 1},
        {"repeat 200 signal TERM", "signal", "TERM", "", -1, 0, 0, 200},
        {"sent AT+CMGS=1234567,32\\r", "sent", "AT+CMGS=1234567,32\r", "", -1, 0, 0, 1},
        {"datagram ::CALL;1234567;hi;\\n", "datagram", "::CALL;1234567;hi;\n", "", -1, 0, 0, 1},
        {"file /tmp/ptt O", "file", "O", "/tmp/ptt", -1, 0, 0, 1},
        {"console {n} log lines dropped", "console", "{n} log lines dropped", "", -1, 0, 0, 1},
        {"exit 0", "exit", "0", "", -1, 0, 0, 1},
        {"notify READY=1", "notify", "READY=1", "", -1, 0, 0, 1},
        {"after 2s file /tmp/dtmf_ctrl 1", "file", "1", "/tmp/dtmf_ctrl", 2, 0, 0, 1},
        {"within 1.5s sent ATE0\\r", "sent", "ATE0\r", "", 1.5, 1, 0, 1},
        {"never 5s notify WATCHDOG=1", "notify", "WATCHDOG=1", "", 5, 0, 1, 1},
        {"radio  two blanks", "radio", " two blanks", "", -1, 0, 0, 1},
        {"clock -2h", "clock", "-2h", "", -1, 0, 0, 1},
    };
    for (const parsed_line& c : cases) {
        session_spec s;
        std::string error;
        ASSERT_TRUE(parse_line(c.line, 7, &s, &error)) << c.line << ": " << error;
        ASSERT_EQ(s.lines.size(), 1u) << c.line;
        const line_spec& l = s.lines[0];
        EXPECT_EQ(l.number, 7);
        EXPECT_STREQ(verb_row(l.verb).name, c.verb) << c.line;
        EXPECT_EQ(l.text, c.text) << c.line;
        EXPECT_EQ(l.path, c.path) << c.line;
        EXPECT_DOUBLE_EQ(l.after, c.after) << c.line;
        EXPECT_EQ(l.within, c.within) << c.line;
        EXPECT_EQ(l.never, c.never) << c.line;
        EXPECT_EQ(l.repeat, c.repeat) << c.line;
    }
}

TEST(SessionFile, HeaderWords)
{
    session_spec s;
    std::string error;
    for (const char* line :
         {"config SYS_HARDWARE=MTM5400", "config CITY= Graz", "hold-port 5230", "env A=1", "journal",
          "weather-service silent-dns", "args --daemon  -x", "no-config", "only-named datagrams files",
          "reply OK\\r\\nOK", "reply", "voice-gateway terminals", "requires console-terminal", "requires other-account",
          "hosts 127.0.0.1 reflector.test", "name-server silent"})
        ASSERT_TRUE(parse_line(line, 1, &s, &error)) << line << ": " << error;
    EXPECT_EQ(s.config, (std::vector<std::string>{"SYS_HARDWARE=MTM5400", "CITY= Graz"}));
    EXPECT_EQ(s.held_ports, std::vector<int>{5230});
    EXPECT_EQ(s.env, std::vector<std::string>{"A=1"});
    EXPECT_EQ(s.args, (std::vector<std::string>{"--daemon", "-x"}));
    EXPECT_TRUE(s.journal);
    EXPECT_EQ(s.weather_service, "silent-dns");
    EXPECT_EQ(s.hosts, std::vector<std::string>{"127.0.0.1 reflector.test"});
    EXPECT_EQ(s.name_server, "silent");
    EXPECT_FALSE(s.write_config);
    EXPECT_TRUE(!s.only_named.radio && s.only_named.datagrams && s.only_named.files);
    EXPECT_EQ(s.replies, (std::vector<std::string>{"OK\r\nOK", ""}));
    EXPECT_TRUE(s.vg_terminals && s.needs_console && s.needs_other_account);
    EXPECT_TRUE(s.lines.empty()) << "header words are no steps";
}

// A wall clock step in seconds; a session with one runs its gateway under libfaketime.
TEST(SessionFile, ClockSteps)
{
    const std::pair<const char*, long long> cases[] = {{"+2h", 7200}, {"-2h", -7200}, {"+90s", 90},
                                                       {"-3m", -180}, {"+1d", 86400}, {"+0s", 0}};
    for (const auto& [text, seconds] : cases) {
        long long got = 0;
        EXPECT_TRUE(clock_step(text, &got)) << text;
        EXPECT_EQ(got, seconds) << text;
    }
    session_spec s;
    std::string error;
    ASSERT_TRUE(parse_line("clock +3h", 1, &s, &error)) << error;
    EXPECT_TRUE(s.steps_clock);
    EXPECT_EQ(s.lines.at(0).clock_step_s, 10800);
}

TEST(SessionFile, Errors)
{
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"radi hello", "unknown word \"radi\""},
        {"name-server none", "\"name-server\" takes nxdomain or silent"},
        {"reflector-at 10.0.0.1", "\"reflector-at\" takes a loopback address (127.0.0.2)"},
        {"repeat 0 signal TERM", "\"repeat\" takes a count and a step"},
        {"repeat 3 sent AT\\r", "\"repeat\" takes a count and a step"},
        {"after 2 sent AT", "\"after\", \"within\" and \"never\" take a time (2s, 500ms) and an expectation"},
        {"within 1s radio hello", "\"after\", \"within\" and \"never\" take a time (2s, 500ms) and an expectation"},
        {"never 5s sent AT", "\"never\" takes a notify, console or datagram line"},
        {"never 5s file /tmp/ptt O", "\"never\" takes a notify, console or datagram line"},
        {"weather-service slow", "\"weather-service\" takes silent or silent-dns"},
        {"wait soon", "\"wait\" takes a time (2s, 500ms)"},
        {"wait 2h", "\"wait\" takes a time (2s, 500ms)"},
        {"stdout pause", "\"stdout\" takes stall or read"},
        {"radio-output off", "\"radio-output\" takes stop or start"},
        {"voice-gateway files", "\"voice-gateway\" takes terminals"},
        {"requires root", "\"requires\" takes console-terminal or other-account"},
        {"fifo /tmp/ptt write", "\"fifo\" takes a path and read or nothing"},
        {"reader /tmp/ptt", "\"reader\" takes a path and stall or read"},
        {"terminal /tmp/ptt now", "\"terminal\" takes a path"},
        {"reader", "\"reader\" takes a path"},
        {"owner /tmp/ptt nobody", "\"owner\" takes a path and an account's number"},
        {"only-named keepalives", "\"only-named\" takes radio, datagrams or files, or nothing for all three"},
        {"signal KILL", "unknown signal \"KILL\" (HUP, INT, QUIT, TERM, USR1, PIPE)"},
        {"clock 2h", "\"clock\" takes a signed step (+2h, -90s, +3m, +1d)"},
        {"clock +2", "\"clock\" takes a signed step (+2h, -90s, +3m, +1d)"},
        {"clock +h", "\"clock\" takes a signed step (+2h, -90s, +3m, +1d)"},
        {"clock +99999999999d", "\"clock\" takes a signed step (+2h, -90s, +3m, +1d)"},
    };
    for (const auto& c : cases) {
        session_spec s;
        std::string error;
        EXPECT_FALSE(parse_line(c.line, 1, &s, &error)) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }
}

// A whole file: the first comment is the title, blank lines and comments are
// skipped, CR LF line ends are taken, and an error names its line.
TEST(SessionFile, LoadsAFile)
{
    char path[] = "/tmp/player-session-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string text = "# The title\r\n#\r\n  # more words\n\nconfig A=1\n  radio hi\r\nsent AT\\r\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    session_spec s;
    ASSERT_TRUE(load_session(path, &s));
    EXPECT_EQ(s.file, path);
    EXPECT_EQ(s.title, "The title");
    ASSERT_EQ(s.lines.size(), 2u);
    EXPECT_EQ(s.lines[0].number, 6);
    EXPECT_EQ(s.lines[0].text, "hi");
    EXPECT_EQ(s.lines[1].text, "AT\r");

    std::ofstream(path, std::ios::app) << "sent\nbogus line\n";
    session_spec broken;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(load_session(path, &broken));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(path) + ":9: unknown word \"bogus\"\n");
    unlink(path);
}

} // namespace

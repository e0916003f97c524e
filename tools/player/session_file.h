// The session file: the lines of a scripted radio session, read into steps
// the player performs and expectations it checks.
#pragma once
#include <string>
#include <vector>

#include "verbs.h"

// One line of a session file.
struct line_spec {
    int number = 0;
    verb_id verb = verb_id::wait; // a step or an expectation
    std::string text;             // unescaped argument
    std::string path;           // put, file, link, terminal, fifo, reader, owner: the file; reflector-from: the address
    double after = -1;          // expected delay after the previous line, -1: untimed
    bool within = false;        // after is a limit, not a delay
    bool never = false;         // "never": not met within after
    int repeat = 1;             // a step done this many times, 1 ms apart
    long long clock_step_s = 0; // clock: seconds the gateway's wall clock steps (negative: back)
};

// "only-named [radio] [datagrams] [files]": the kinds of what the gateway did
// that are checked only where a line names them (all three when none is
// given). A session made from a log names few of them; a recorded one names
// every byte on the radio line but no datagram.
struct unnamed_kinds {
    bool radio = false;
    bool datagrams = false;
    bool files = false;
};

struct session_spec {
    std::string file;
    std::string title;
    std::vector<std::string> config;
    std::vector<std::string> args;
    bool write_config = true;
    std::vector<int> held_ports;  // bound by the player before the gateway starts
    std::vector<std::string> env; // KEY=VALUE set in the gateway's environment
    bool journal = false;         // stdout is "the journal": JOURNAL_STREAM names it
    // "silent": the weather service takes connections and never answers;
    // "silent-dns": its name server takes queries and never answers.
    std::string weather_service;
    bool steps_clock = false;         // a "clock" step: the gateway runs with a wall clock the player steps
    bool vg_terminals = false;        // "voice-gateway terminals": both control paths are the player's ptys
    bool needs_console = false;       // "requires console-terminal"
    bool needs_other_account = false; // "requires other-account"
    // "hosts ADDR NAME": lines of the session's own /etc/hosts, below localhost.
    std::vector<std::string> hosts;
    // "name-server nxdomain|silent": what answers the gateway's DNS queries;
    // empty: nothing listens where they go, so each is refused at once.
    std::string name_server;
    unnamed_kinds only_named; // what no line names, of these kinds, is not reported
    // "reply TEXT": the radio's answers to the gateway's commands and PDUs, in
    // the order it writes them, wherever the lines stand; then "answer" holds.
    std::vector<std::string> replies;
    std::vector<line_spec> lines;
};

// True for a line the player performs, false for one it waits for.
bool is_step(const line_spec& l);

// "2s", "1.5s", "500ms": seconds, or -1.
double duration(const std::string& text);

// "+2h", "-90s", "+3m", "+1d": a signed step of the wall clock in seconds;
// false when text is none.
bool clock_step(const std::string& text, long long* seconds);

// The signal a "signal" step names (HUP, INT, QUIT, TERM, USR1, PIPE), 0 for another.
int signal_number(const std::string& name);

// Reads one line (without its comment check) numbered number into s; returns
// true, or false with the reason in *error.
bool parse_line(std::string text, int number, session_spec* s, std::string* error);

// Reads a session file into s; returns false after printing where it is wrong.
bool load_session(const std::string& file, session_spec* s);

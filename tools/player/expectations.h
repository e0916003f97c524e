// The expectations: whether what the gateway did, recorded with the time the
// player saw each thing, meets a session's expectation lines. Pure functions
// over the record: they read no clock and wait for nothing, so they can be
// fed events without a gateway; the player calls them again as events come.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "session_file.h"

// A timed expectation ("after 2s") may come this much early or late.
constexpr double EARLY_S = 0.2;
constexpr double LATE_S = 0.6;

// Something the gateway did, with the time the player saw it.
struct event {
    double at;
    std::string text;
    bool used = false;
};

// Everything the gateway did in one session, and how far expectations have
// consumed it.
struct record {
    std::string serial;            // every byte the gateway wrote to the radio
    std::vector<double> serial_at; // when each byte arrived
    size_t serial_used = 0;
    std::vector<event> datagrams;                     // to the reflector
    std::vector<event> console;                       // console lines, timestamp prefix removed
    std::vector<event> notices;                       // NOTIFY_SOCKET lines
    std::map<std::string, std::vector<event>> writes; // file name -> its writes
    size_t console_cursor = 0;
    size_t notice_cursor = 0;
    int exit_status = -1; // -1 while the gateway runs
};

// A failed expectation: its line (0: the session as a whole) and why.
struct finding {
    int line;
    std::string what;
};

// The two timestamp forms the gateway writes masked as {stamp}
// ("<07.12.26 14:03:59>") and {time} ("07.12.2026 14:03:59").
std::string masked(const std::string& s);

// want with "{n}" standing for one or more digits matches got.
bool matches_digits(const std::string& want, const std::string& got);

// A keepalive or the hourly position beacon: they come on their own schedule.
bool periodic(const std::string& datagram);

// Looks for the expectation l (sent, datagram, file, console, notify, exit)
// in r. since: when the steps before it began; its cause came no earlier.
// Returns the time of the match, consumed in r, with findings for what it
// passed over or met too early; or -1 when none is there yet, and then, on
// the last look, a finding that it never came. only_named (a session's
// "only-named"): of those kinds, what no line names is passed over without a
// finding, and a sent, datagram or file line is met only by what came after since.
double expect(record* r, const line_spec& l, double since, bool last_look, std::vector<finding>* out,
              const unnamed_kinds& only_named = {});

// A finding when the match at came outside l's time after previous.
void check_timing(const line_spec& l, double at, double previous, std::vector<finding>* out);

// "never": a finding for each line like l in [previous, previous + l.after].
void expect_none(const record& r, const line_spec& l, double previous, std::vector<finding>* out);

// After the session: every radio byte, datagram and file write no line
// expected (none with only_named), and any sanitizer report in the gateway's output.
void leftovers(record* r, std::vector<finding>* out, const unnamed_kinds& only_named = {});

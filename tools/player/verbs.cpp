// The session file's words: the one table of what each is and takes.
#include "verbs.h"

#include <cstring>

namespace {

using K = verb_kind;
using P = path_word;

const verb_info VERBS[] = {
    {verb_id::config, "config", K::header, P::none, nullptr, nullptr, "config KEY=value", "a configuration line"},
    {verb_id::args, "args", K::header, P::none, nullptr, nullptr, "args ARG...", "command line arguments"},
    {verb_id::no_config, "no-config", K::header, P::none, nullptr, nullptr, "no-config", "start without a file"},
    {verb_id::hold_port, "hold-port", K::header, P::none, nullptr, nullptr, "hold-port PORT",
     "the player holds UDP PORT (0.0.0.0) so the gateway cannot bind it"},
    {verb_id::env, "env", K::header, P::none, nullptr, nullptr, "env KEY=VALUE",
     "in the gateway's environment (env WATCHDOG_USEC=4000000)"},
    {verb_id::journal, "journal", K::header, P::none, nullptr, nullptr, "journal",
     "the gateway's stdout is named by JOURNAL_STREAM, as systemd's journal is"},
    {verb_id::weather_service, "weather-service", K::header, P::none, "silent|silent-dns",
     "\"weather-service\" takes silent or silent-dns", "weather-service silent|silent-dns",
     "the weather service takes connections and never answers / its name server never answers"},
    {verb_id::voice_gateway, "voice-gateway", K::header, P::none, "terminals", "\"voice-gateway\" takes terminals",
     "voice-gateway terminals", "both control paths are links to ptys the player reads"},
    {verb_id::needs, "requires", K::header, P::none, "console-terminal|other-account",
     "\"requires\" takes console-terminal or other-account", "requires console-terminal|other-account",
     "skip the session where that is missing"},
    {verb_id::hosts, "hosts", K::header, P::none, nullptr, nullptr, "hosts ADDR NAME",
     "a line of the session's own /etc/hosts"},
    {verb_id::name_server, "name-server", K::header, P::none, "nxdomain|silent",
     "\"name-server\" takes nxdomain or silent", "name-server nxdomain|silent",
     "the session's name server answers \"no such name\" / never"},
    {verb_id::only_named, "only-named", K::header, P::none, nullptr, nullptr, "only-named [radio] [datagrams] [files]",
     "of these (default all), report nothing no line names; sent, datagram and file find their text further on"},
    {verb_id::reply, "reply", K::header, P::none, nullptr, nullptr, "reply TEXT",
     "the answer to one command: the Nth reply line answers the Nth command"},

    {verb_id::repeat, "repeat", K::prefix, P::none, nullptr, nullptr, "repeat N STEP",
     "do STEP N times, 1 ms apart (repeat 200 signal TERM)"},
    {verb_id::after, "after", K::prefix, P::none, nullptr, nullptr, "after 2s LINE",
     "the expectation comes 2 s after the line before it"},
    {verb_id::within, "within", K::prefix, P::none, nullptr, nullptr, "within 2s LINE",
     "the expectation comes at most 2 s after the line before it"},
    {verb_id::never, "never", K::prefix, P::none, nullptr, nullptr, "never 3s LINE",
     "no such notify, console or datagram line within 3 s of the line before"},

    {verb_id::radio, "radio", K::step, P::none, nullptr, nullptr, "radio TEXT", "the radio sends TEXT and CR LF"},
    {verb_id::radio_bytes, "radio-bytes", K::step, P::none, nullptr, nullptr, "radio-bytes TEXT",
     "the radio sends exactly TEXT"},
    {verb_id::reflector, "reflector", K::step, P::none, nullptr, nullptr, "reflector TEXT", "a datagram to port 5230"},
    {verb_id::local, "local", K::step, P::none, nullptr, nullptr, "local TEXT", "a datagram to 54001"},
    {verb_id::reflector_from, "reflector-from", K::step, P::optional, nullptr, nullptr, "reflector-from ADDR TEXT",
     "a datagram to port 5230 from ADDR (127.0.0.2), the reflector's port"},
    {verb_id::answer, "answer", K::step, P::none, nullptr, nullptr, "answer TEXT", "the radio's answer (empty: none)"},
    {verb_id::wait, "wait", K::step, P::none, nullptr, nullptr, "wait 2s", "a pause"},
    {verb_id::signal, "signal", K::step, P::none, nullptr, nullptr, "signal NAME", "HUP, INT, QUIT, TERM ..."},
    {verb_id::unplug, "unplug", K::step, P::none, nullptr, nullptr, "unplug", "the radio's cable comes out"},
    {verb_id::plug, "plug", K::step, P::none, nullptr, nullptr, "plug", "and goes in again"},
    {verb_id::put, "put", K::step, P::optional, nullptr, nullptr, "put PATH TEXT", "write a file"},
    {verb_id::link, "link", K::step, P::optional, nullptr, nullptr, "link PATH TARGET",
     "make PATH a symbolic link to TARGET"},
    {verb_id::terminal, "terminal", K::step, P::required, "", "\"terminal\" takes a path", "terminal PATH",
     "make PATH a link to a pty the player reads (its writes: file PATH)"},
    {verb_id::fifo, "fifo", K::step, P::required, "|read", "\"fifo\" takes a path and read or nothing",
     "fifo PATH [read]", "make PATH a FIFO nobody reads, or one the player reads"},
    {verb_id::reader, "reader", K::step, P::required, "stall|read", "\"reader\" takes a path and stall or read",
     "reader PATH stall|read", "fill the terminal's or FIFO's buffer and stop reading / read again"},
    {verb_id::owner, "owner", K::step, P::required, nullptr, nullptr, "owner PATH UID",
     "give the file PATH to account UID, mode 0666"},
    {verb_id::stdout_flow, "stdout", K::step, P::none, "stall|read", "\"stdout\" takes stall or read",
     "stdout stall|read", "stop / resume reading the gateway's output"},
    {verb_id::radio_output, "radio-output", K::step, P::none, "stop|start", "\"radio-output\" takes stop or start",
     "radio-output stop|start", "the radio stops / resumes taking bytes (flow control)"},
    {verb_id::reflector_at, "reflector-at", K::step, P::none, nullptr, nullptr, "reflector-at ADDR",
     "the reflector moves to ADDR (127.0.0.2), and its name resolves there"},
    {verb_id::clock, "clock", K::step, P::none, nullptr, nullptr, "clock +2h",
     "step the gateway's wall clock (+/- N s, m, h or d); its monotonic clock runs on"},

    {verb_id::sent, "sent", K::expectation, P::none, nullptr, nullptr, "sent TEXT",
     "the gateway writes TEXT to the radio next"},
    {verb_id::datagram, "datagram", K::expectation, P::none, nullptr, nullptr, "datagram TEXT",
     "the next datagram to the reflector ({time} masks a report time)"},
    {verb_id::file, "file", K::expectation, P::optional, nullptr, nullptr, "file PATH TEXT",
     "the next write of PATH leaves TEXT"},
    {verb_id::console, "console", K::expectation, P::none, nullptr, nullptr, "console TEXT",
     "a console line, its timestamp removed ({stamp} masks others, {n} digits)"},
    {verb_id::exit, "exit", K::expectation, P::none, nullptr, nullptr, "exit N", "the gateway ends with status N"},
    {verb_id::notify, "notify", K::expectation, P::none, nullptr, nullptr, "notify TEXT",
     "a line the gateway sent to NOTIFY_SOCKET ({n} stands for digits)"},
};

} // namespace

const verb_info* find_verb(const std::string& name)
{
    for (const verb_info& v : VERBS)
        if (name == v.name)
            return &v;
    return nullptr;
}

const verb_info& verb_row(verb_id id)
{
    for (const verb_info& v : VERBS)
        if (v.id == id)
            return v;
    return VERBS[0]; // not reached: every id has its row
}

bool verb_takes(const verb_info& v, const std::string& text)
{
    if (!v.choices)
        return true;
    for (const char* choice = v.choices;; choice++) {
        size_t length = strcspn(choice, "|");
        if (text.size() == length && text.compare(0, length, choice, length) == 0)
            return true;
        choice += length;
        if (!*choice)
            return false;
    }
}

void print_verb_help(FILE* out)
{
    const int column = 18; // the usages' width; a longer one has its help below
    for (const verb_info& v : VERBS) {
        if (strlen(v.usage) > column)
            fprintf(out, "  %s\n  %-*s %s\n", v.usage, column, "", v.help);
        else
            fprintf(out, "  %-*s %s\n", column, v.usage, v.help);
    }
}

// The session file: its header words, steps and expectations, read into a
// session_spec the player plays.
#include "session_file.h"

#include <arpa/inet.h>
#include <signal.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "escape.h"
#include "words.h"

bool is_step(const std::string& verb)
{
    return verb != "sent" && verb != "datagram" && verb != "file" && verb != "console" && verb != "exit" &&
           verb != "notify";
}

int signal_number(const std::string& name)
{
    static const std::map<std::string, int> names = {{"HUP", SIGHUP},   {"INT", SIGINT},   {"QUIT", SIGQUIT},
                                                     {"TERM", SIGTERM}, {"USR1", SIGUSR1}, {"PIPE", SIGPIPE}};
    auto it = names.find(name);
    return it == names.end() ? 0 : it->second;
}

// "2s", "1.5s", "500ms": seconds, or -1.
double duration(const std::string& text)
{
    char* end = nullptr;
    double value = strtod(text.c_str(), &end);
    if (end == text.c_str())
        return -1;
    if (strcmp(end, "s") == 0)
        return value;
    if (strcmp(end, "ms") == 0)
        return value / 1000;
    return -1;
}

bool clock_step(const std::string& text, long long* seconds)
{
    static const std::map<std::string, long long> units = {{"s", 1}, {"m", 60}, {"h", 3600}, {"d", 86400}};
    if (text.empty() || (text[0] != '+' && text[0] != '-') || !isdigit(static_cast<unsigned char>(text[1])))
        return false;
    char* end = nullptr;
    long long count = strtoll(text.c_str() + 1, &end, 10);
    auto unit = units.find(end);
    // A century at most: far beyond any step NTP makes, and no overflow.
    if (unit == units.end() || count > 100 * 365LL * 86400 / unit->second)
        return false;
    *seconds = (text[0] == '-' ? -count : count) * unit->second;
    return true;
}

namespace {
const std::set<std::string> VERBS = {
    "radio",  "radio-bytes",  "reflector", "local", "answer",  "wait",  "signal",         "unplug",      "plug",
    "put",    "sent",         "datagram",  "file",  "console", "exit",  "reflector-from", "notify",      "link",
    "stdout", "radio-output", "terminal",  "fifo",  "reader",  "owner", "clock",          "reflector-at"};

bool parse_unnamed_kinds(std::string text, unnamed_kinds* kinds, std::string* error)
{
    if (text.empty()) {
        *kinds = {true, true, true};
        return true;
    }
    for (std::string word; !(word = next_word(&text)).empty();) {
        bool* kind = word == "radio"       ? &kinds->radio
                     : word == "datagrams" ? &kinds->datagrams
                     : word == "files"     ? &kinds->files
                                           : nullptr;
        if (!kind) {
            *error = "\"only-named\" takes radio, datagrams or files, or nothing for all three";
            return false;
        }
        *kind = true;
    }
    return true;
}

// The steps that take one of a few words: false with the reason for another.
bool step_argument_ok(const std::string& verb, const std::string& text, std::string* error)
{
    static const std::map<std::string, std::pair<std::set<std::string>, const char*>> words = {
        {"stdout", {{"stall", "read"}, "\"stdout\" takes stall or read"}},
        {"radio-output", {{"stop", "start"}, "\"radio-output\" takes stop or start"}},
        {"fifo", {{"", "read"}, "\"fifo\" takes a path and read or nothing"}},
        {"reader", {{"stall", "read"}, "\"reader\" takes a path and stall or read"}},
        {"terminal", {{""}, "\"terminal\" takes a path"}}};
    auto it = words.find(verb);
    if (it != words.end() && !it->second.first.count(text)) {
        *error = it->second.second;
        return false;
    }
    if (verb == "owner" && atoi(text.c_str()) <= 0) {
        *error = "\"owner\" takes a path and an account's number";
        return false;
    }
    return true;
}

// "voice-gateway terminals", "requires console-terminal|other-account".
bool parse_header_word(const std::string& verb, const std::string& text, session_spec* s, std::string* error)
{
    bool* flag = verb == "voice-gateway"      ? (text == "terminals" ? &s->vg_terminals : nullptr)
                 : text == "console-terminal" ? &s->needs_console
                 : text == "other-account"    ? &s->needs_other_account
                                              : nullptr;
    if (!flag) {
        *error = verb == "voice-gateway" ? "\"voice-gateway\" takes terminals"
                                         : "\"requires\" takes console-terminal or other-account";
        return false;
    }
    *flag = true;
    return true;
}

} // namespace

bool parse_line(std::string text, int number, session_spec* s, std::string* error)
{
    line_spec l;
    l.number = number;
    l.verb = next_word(&text);
    if (l.verb == "repeat") {
        l.repeat = atoi(next_word(&text).c_str());
        l.verb = next_word(&text);
        if (l.repeat < 1 || !is_step(l.verb)) {
            *error = "\"repeat\" takes a count and a step";
            return false;
        }
    }
    if (l.verb == "after" || l.verb == "within" || l.verb == "never") {
        l.within = l.verb == "within";
        l.never = l.verb == "never";
        l.after = duration(next_word(&text));
        l.verb = next_word(&text);
        if (l.after < 0 || is_step(l.verb)) {
            *error = "\"after\", \"within\" and \"never\" take a time (2s, 500ms) and an expectation";
            return false;
        }
        if (l.never && l.verb != "notify" && l.verb != "console" && l.verb != "datagram") {
            *error = "\"never\" takes a notify, console or datagram line";
            return false;
        }
    }
    if (l.verb == "config") {
        s->config.push_back(text);
        return true;
    }
    if (l.verb == "hold-port") {
        s->held_ports.push_back(atoi(text.c_str()));
        return true;
    }
    if (l.verb == "no-config") {
        s->write_config = false;
        return true;
    }
    if (l.verb == "env") {
        s->env.push_back(text);
        return true;
    }
    if (l.verb == "journal") {
        s->journal = true;
        return true;
    }
    if (l.verb == "reply") {
        s->replies.push_back(unescape(text));
        return true;
    }
    if (l.verb == "only-named")
        return parse_unnamed_kinds(text, &s->only_named, error);
    if (l.verb == "weather-service") {
        s->weather_service = text;
        if (text != "silent" && text != "silent-dns") {
            *error = "\"weather-service\" takes silent or silent-dns";
            return false;
        }
        return true;
    }
    if (l.verb == "voice-gateway" || l.verb == "requires")
        return parse_header_word(l.verb, text, s, error);
    if (l.verb == "hosts") {
        s->hosts.push_back(text);
        return true;
    }
    if (l.verb == "name-server") {
        s->name_server = text;
        if (text != "nxdomain" && text != "silent") {
            *error = "\"name-server\" takes nxdomain or silent";
            return false;
        }
        return true;
    }
    if (l.verb == "args") {
        std::istringstream words(text);
        for (std::string w; words >> w;)
            s->args.push_back(w);
        return true;
    }
    if (!VERBS.count(l.verb)) {
        *error = "unknown word \"" + l.verb + "\"";
        return false;
    }
    if (l.verb == "put" || l.verb == "file" || l.verb == "reflector-from" || l.verb == "link" || l.verb == "terminal" ||
        l.verb == "fifo" || l.verb == "reader" || l.verb == "owner")
        l.path = next_word(&text);
    if (l.path.empty() && (l.verb == "terminal" || l.verb == "fifo" || l.verb == "reader" || l.verb == "owner")) {
        *error = "\"" + l.verb + "\" takes a path";
        return false;
    }
    if (!step_argument_ok(l.verb, text, error))
        return false;
    if (l.verb == "wait" && (l.after = duration(text)) < 0) {
        *error = "\"wait\" takes a time (2s, 500ms)";
        return false;
    }
    if (l.verb == "clock") {
        if (!clock_step(text, &l.clock_step_s)) {
            *error = "\"clock\" takes a signed step (+2h, -90s, +3m, +1d)";
            return false;
        }
        s->steps_clock = true;
    }
    struct in_addr loopback;
    if (l.verb == "reflector-at" && (inet_pton(AF_INET, text.c_str(), &loopback) != 1 || text.rfind("127.", 0) != 0)) {
        *error = "\"reflector-at\" takes a loopback address (127.0.0.2)";
        return false;
    }
    if (l.verb == "signal" && !signal_number(text)) {
        *error = "unknown signal \"" + text + "\" (HUP, INT, QUIT, TERM, USR1, PIPE)";
        return false;
    }
    l.text = unescape(text);
    s->lines.push_back(l);
    return true;
}

bool load_session(const std::string& file, session_spec* s)
{
    std::ifstream in(file);
    if (!in) {
        printf("%s: cannot read it\n", file.c_str());
        return false;
    }
    s->file = file;
    std::string text, error;
    for (int number = 1; std::getline(in, text); number++) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        size_t start = text.find_first_not_of(' ');
        if (start == std::string::npos)
            continue;
        if (text[start] == '#') {
            size_t words = text.find_first_not_of("# ", start);
            if (s->title.empty() && words != std::string::npos)
                s->title = text.substr(words);
            continue;
        }
        if (!parse_line(text.substr(start), number, s, &error)) {
            printf("%s:%d: %s\n", file.c_str(), number, error.c_str());
            return false;
        }
    }
    return true;
}

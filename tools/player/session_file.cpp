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
#include <sstream>

#include "escape.h"
#include "words.h"

bool is_step(const line_spec& l)
{
    return verb_row(l.verb).kind == verb_kind::step;
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

// The header words: each sets its part of s.
bool parse_header(verb_id verb, const std::string& text, session_spec* s, std::string* error)
{
    switch (verb) {
    case verb_id::config:
        s->config.push_back(text);
        break;
    case verb_id::hold_port:
        s->held_ports.push_back(atoi(text.c_str()));
        break;
    case verb_id::no_config:
        s->write_config = false;
        break;
    case verb_id::env:
        s->env.push_back(text);
        break;
    case verb_id::journal:
        s->journal = true;
        break;
    case verb_id::reply:
        s->replies.push_back(unescape(text));
        break;
    case verb_id::only_named:
        return parse_unnamed_kinds(text, &s->only_named, error);
    case verb_id::weather_service:
        s->weather_service = text;
        break;
    case verb_id::voice_gateway:
        s->vg_terminals = true;
        break;
    case verb_id::needs:
        (text == "console-terminal" ? s->needs_console : s->needs_other_account) = true;
        break;
    case verb_id::hosts:
        s->hosts.push_back(text);
        break;
    case verb_id::name_server:
        s->name_server = text;
        break;
    case verb_id::args: {
        std::istringstream words(text);
        for (std::string w; words >> w;)
            s->args.push_back(w);
        break;
    }
    default:
        break;
    }
    return true;
}

// A step's or expectation's argument, past what the table checks.
bool argument_ok(line_spec* l, const std::string& text, std::string* error)
{
    struct in_addr loopback;
    if (l->verb == verb_id::owner && atoi(text.c_str()) <= 0)
        *error = "\"owner\" takes a path and an account's number";
    else if (l->verb == verb_id::wait && (l->after = duration(text)) < 0)
        *error = "\"wait\" takes a time (2s, 500ms)";
    else if (l->verb == verb_id::clock && !clock_step(text, &l->clock_step_s))
        *error = "\"clock\" takes a signed step (+2h, -90s, +3m, +1d)";
    else if (l->verb == verb_id::reflector_at &&
             (inet_pton(AF_INET, text.c_str(), &loopback) != 1 || text.rfind("127.", 0) != 0))
        *error = "\"reflector-at\" takes a loopback address (127.0.0.2)";
    else if (l->verb == verb_id::signal && !signal_number(text))
        *error = "unknown signal \"" + text + "\" (HUP, INT, QUIT, TERM, USR1, PIPE)";
    else
        return true;
    return false;
}

} // namespace

bool parse_line(std::string text, int number, session_spec* s, std::string* error)
{
    line_spec l;
    l.number = number;
    std::string word = next_word(&text);
    const verb_info* v = find_verb(word);
    if (v && v->id == verb_id::repeat) {
        l.repeat = atoi(next_word(&text).c_str());
        v = find_verb(word = next_word(&text));
        if (l.repeat < 1 || (v && v->kind == verb_kind::expectation)) {
            *error = "\"repeat\" takes a count and a step";
            return false;
        }
    }
    if (v && v->kind == verb_kind::prefix && v->id != verb_id::repeat) {
        l.within = v->id == verb_id::within;
        l.never = v->id == verb_id::never;
        l.after = duration(next_word(&text));
        v = find_verb(word = next_word(&text));
        if (l.after < 0 || !v || v->kind != verb_kind::expectation) {
            *error = "\"after\", \"within\" and \"never\" take a time (2s, 500ms) and an expectation";
            return false;
        }
        if (l.never && v->id != verb_id::notify && v->id != verb_id::console && v->id != verb_id::datagram) {
            *error = "\"never\" takes a notify, console or datagram line";
            return false;
        }
    }
    if (!v || v->kind == verb_kind::prefix) {
        *error = "unknown word \"" + word + "\"";
        return false;
    }
    l.verb = v->id;
    if (v->path != path_word::none)
        l.path = next_word(&text);
    if (l.path.empty() && v->path == path_word::required) {
        *error = "\"" + word + "\" takes a path";
        return false;
    }
    if (!verb_takes(*v, text)) {
        *error = v->refusal;
        return false;
    }
    if (v->kind == verb_kind::header)
        return parse_header(v->id, text, s, error);
    if (!argument_ok(&l, text, error))
        return false;
    s->steps_clock = s->steps_clock || l.verb == verb_id::clock;
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

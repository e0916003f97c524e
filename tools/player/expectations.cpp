// The expectations: matching what the gateway did against a session's lines.
#include "expectations.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "escape.h"

namespace {

bool shape_at(const std::string& s, size_t at, const char* shape)
{
    for (size_t i = 0; shape[i]; i++) {
        if (at + i >= s.size())
            return false;
        char c = s[at + i];
        if (shape[i] == 'd' ? !isdigit(static_cast<unsigned char>(c)) : c != shape[i])
            return false;
    }
    return true;
}

enum kind_filter { ANY, ONLY_PERIODIC, NOT_PERIODIC };

// The first unused event at or after from that matches, or -1.
long find_event(const std::vector<event>& list, const std::string& want, double from, kind_filter kind)
{
    for (size_t i = 0; i < list.size(); i++) {
        const event& e = list[i];
        if (e.used || e.at < from || (kind != ANY && periodic(e.text) != (kind == ONLY_PERIODIC)))
            continue;
        if (masked(e.text) == want)
            return static_cast<long>(i);
    }
    return -1;
}

// Unused events before end were not expected; keepalives may be left.
void unexpected_before(std::vector<event>* list, size_t end, bool datagrams, int line, const std::string& what,
                       std::vector<finding>* out)
{
    for (size_t i = 0; i < end; i++) {
        event& e = (*list)[i];
        if (!e.used && !(datagrams && periodic(e.text))) {
            out->push_back({line, "unexpected " + what + ": " + visible(masked(e.text))});
            e.used = true;
        }
    }
}

double expect_sent(record* r, const line_spec& l, double since, bool last_look, bool only_named,
                   std::vector<finding>* out)
{
    size_t at = r->serial.find(l.text, r->serial_used);
    // Only named: the bytes written before the cause are some other line's.
    while (only_named && at != std::string::npos && r->serial_at[at] < since)
        at = r->serial.find(l.text, at + 1);
    if (at == std::string::npos) {
        if (last_look)
            out->push_back({l.number, "the radio never got \"" + visible(l.text) +
                                          "\"; after the last match it got \"" +
                                          visible(r->serial.substr(r->serial_used)) + "\""});
        return -1;
    }
    if (at > r->serial_used && !only_named)
        out->push_back({l.number, "before \"" + visible(l.text) + "\" the radio got \"" +
                                      visible(r->serial.substr(r->serial_used, at - r->serial_used)) + "\""});
    r->serial_used = at + l.text.size();
    if (r->serial_at[at] < since)
        out->push_back({l.number, "\"" + visible(l.text) + "\" was written before the step that should cause it"});
    return r->serial_at[r->serial_used - 1];
}

// A datagram or a file write. Keepalives, and with only_named everything, are
// looked for after the step only.
double expect_listed(std::vector<event>* list, bool datagrams, const std::string& what, const line_spec& l,
                     double since, bool last_look, bool only_named, std::vector<finding>* out)
{
    bool keepalive = datagrams && periodic(l.text);
    kind_filter kind = !datagrams ? ANY : keepalive ? ONLY_PERIODIC : NOT_PERIODIC;
    long i = find_event(*list, l.text, keepalive || only_named ? since : 0, kind);
    if (i < 0) {
        if (last_look)
            out->push_back({l.number, "no " + what + " \"" + visible(l.text) + "\""});
        return -1;
    }
    if (!keepalive && !only_named)
        unexpected_before(list, static_cast<size_t>(i), datagrams, l.number, what, out);
    event& found = (*list)[static_cast<size_t>(i)];
    found.used = true;
    if (found.at < since)
        out->push_back({l.number, what + " \"" + visible(l.text) + "\" came before the step that should cause it"});
    return found.at;
}

// Console lines and notifications: the next one at or after the cursor that
// matches, others skipped.
double expect_in_order(const std::vector<event>& list, size_t* cursor, const char* what, const line_spec& l,
                       double since, bool last_look, std::vector<finding>* out)
{
    for (size_t i = *cursor; i < list.size(); i++) {
        if (list[i].at >= since && matches_digits(l.text, list[i].text)) {
            *cursor = i + 1;
            return list[i].at;
        }
    }
    if (last_look)
        out->push_back({l.number, std::string("no ") + what + " \"" + visible(l.text) + "\""});
    return -1;
}

// The first line of a sanitizer's report in the gateway's output (its stderr
// shares the console pipe): a sanitizer build of the gateway fails the session
// on any report, also one written while it stops, after the last expectation.
const char* const SANITIZER_REPORTS[] = {
    "WARNING: ThreadSanitizer:", "ERROR: AddressSanitizer:", "ERROR: LeakSanitizer:", ": runtime error: "};

bool sanitizer_report(const std::string& line)
{
    for (const char* mark : SANITIZER_REPORTS)
        if (line.find(mark) != std::string::npos)
            return true;
    return false;
}

} // namespace

std::string masked(const std::string& s)
{
    static const char* const STAMP = "<dd.dd.dd dd:dd:dd>";
    static const char* const TIME = "dd.dd.dddd dd:dd:dd";
    std::string out;
    for (size_t i = 0; i < s.size();) {
        if (shape_at(s, i, STAMP)) {
            out += "{stamp}";
            i += strlen(STAMP);
        } else if (shape_at(s, i, TIME)) {
            out += "{time}";
            i += strlen(TIME);
        } else {
            out += s[i++];
        }
    }
    return out;
}

bool matches_digits(const std::string& want, const std::string& got)
{
    size_t w = 0, g = 0;
    while (w < want.size()) {
        if (want.compare(w, 3, "{n}") == 0) {
            size_t start = g;
            while (g < got.size() && isdigit(static_cast<unsigned char>(got[g])))
                g++;
            if (g == start)
                return false;
            w += 3;
        } else if (g < got.size() && want[w] == got[g]) {
            w++, g++;
        } else {
            return false;
        }
    }
    return g == got.size();
}

bool periodic(const std::string& datagram)
{
    return datagram.rfind(">>", 0) == 0 || datagram.find(",POS,#232,") != std::string::npos;
}

double expect(record* r, const line_spec& l, double since, bool last_look, std::vector<finding>* out,
              const unnamed_kinds& only_named)
{
    switch (l.verb) {
    case verb_id::sent:
        return expect_sent(r, l, since, last_look, only_named.radio, out);
    case verb_id::datagram:
        return expect_listed(&r->datagrams, true, "datagram", l, since, last_look, only_named.datagrams, out);
    case verb_id::file:
        return expect_listed(&r->writes[l.path], false, "write of " + l.path, l, since, last_look, only_named.files,
                             out);
    case verb_id::console:
        return expect_in_order(r->console, &r->console_cursor, "console line", l, since, last_look, out);
    case verb_id::notify:
        return expect_in_order(r->notices, &r->notice_cursor, "notification", l, since, last_look, out);
    default:
        break; // exit: the player waits for the gateway's end
    }
    return -1;
}

void check_timing(const line_spec& l, double at, double previous, std::vector<finding>* out)
{
    double earliest = previous + (l.within ? 0 : l.after) - EARLY_S;
    if (at < 0 || l.after < 0 || (at >= earliest && at <= previous + l.after + LATE_S))
        return;
    char took[64];
    snprintf(took, sizeof took, "came after %.2f s, not %s%.2f s", at - previous, l.within ? "within " : "", l.after);
    out->push_back({l.number, took});
}

void expect_none(const record& r, const line_spec& l, double previous, std::vector<finding>* out)
{
    double until = previous + l.after;
    const std::vector<event>& list = l.verb == verb_id::notify    ? r.notices
                                     : l.verb == verb_id::console ? r.console
                                                                  : r.datagrams;
    for (const event& e : list)
        if (e.at >= previous && e.at <= until && matches_digits(l.text, masked(e.text)))
            out->push_back({l.number, "\"" + visible(l.text) + "\" came, and should not have"});
}

void leftovers(record* r, std::vector<finding>* out, const unnamed_kinds& only_named)
{
    for (const event& e : r->console)
        if (sanitizer_report(e.text))
            out->push_back({0, "the gateway's sanitizer reported: " + visible(e.text)});
    if (!only_named.radio && r->serial_used < r->serial.size())
        out->push_back({0, "unexpected bytes to the radio: \"" + visible(r->serial.substr(r->serial_used)) + "\""});
    if (!only_named.datagrams)
        unexpected_before(&r->datagrams, r->datagrams.size(), true, 0, "datagram", out);
    for (auto& [path, list] : r->writes)
        if (!only_named.files)
            unexpected_before(&list, list.size(), false, 0, "write of " + path, out);
}

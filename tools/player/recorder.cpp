// The recorder's pure part: the bytes that crossed the radio line, with their
// times, as session lines; and the gateway's configuration as "config" lines.
#include "recorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "config/config_reader.h"
#include "escape.h"
#include "expectations.h"
#include "pei.h"

namespace {

// The settings the player makes itself, and the one the recording must not carry.
const std::set<std::string> PLAYER_KEYS = {"SYS_SERPORT", "REFLECTOR_DNS", "REFLECTOR_PORT"};

// verb and text in the session file's escapes; a trailing blank is escaped
// too, so that an editor trimming lines cannot change the bytes.
std::string session_line(const char* verb, const std::string& bytes)
{
    if (bytes.empty())
        return verb;
    return std::string(verb) + " " + session_text(bytes);
}

void radio_line(recording* r, const held_item& line, const char* verb, std::vector<std::string>* out)
{
    double gap = line.began - r->last_at;
    if (r->last_at >= 0 && gap >= RECORDED_PAUSE_S) {
        char wait[32];
        snprintf(wait, sizeof wait, "wait %.2fs", gap);
        out->push_back(wait);
    }
    out->push_back(session_line(verb, line.bytes));
}

// A radio line as a step, a control file's write as an expectation.
void put_item(recording* r, const held_item& item, std::vector<std::string>* out)
{
    if (item.path.empty())
        radio_line(r, item, "radio", out);
    else
        out->push_back(session_line(("file " + item.path).c_str(), masked(item.bytes)));
    r->last_at = std::max(r->last_at, item.ended);
}

void put_waiting(recording* r, std::vector<std::string>* out)
{
    for (const held_item& item : r->waiting)
        put_item(r, item, out);
    r->waiting.clear();
}

// Whether a command being written at time at holds back what comes.
bool command_holds(const recording* r, double at)
{
    return !r->gateway_partial.empty() && at - r->gateway_partial_began < RECORDED_HOLD_MAX_S;
}

// The oldest command's answer, complete or not: every command gets one
// "reply", empty when the radio said nothing, so that the player's radio
// gives each of them the answer recorded for it.
void close_reply(recording* r, std::vector<std::string>* out)
{
    out->push_back(session_line("reply", r->replies.front().text));
    r->replies.pop_front();
}

// Answers the radio did not finish in time, as far as they came.
void close_late_replies(recording* r, double at, std::vector<std::string>* out)
{
    while (!r->replies.empty() && at - r->replies.front().since > RECORDED_REPLY_MAX_S)
        close_reply(r, out);
}

// A radio line that answers the oldest command not yet answered; true when
// it was taken.
bool reply_line(recording* r, const held_item& line, std::vector<std::string>* out)
{
    close_late_replies(r, line.ended, out);
    if (r->replies.empty())
        return false;
    std::string& text = r->replies.front().text;
    text += (text.empty() ? "" : "\r\n") + line.bytes;
    r->last_at = std::max(r->last_at, line.ended);
    if (pei_final_result(line.bytes))
        close_reply(r, out);
    return true;
}

void gateway_unit(recording* r, double at, std::vector<std::string>* out)
{
    close_late_replies(r, at, out);
    out->push_back(session_line("sent", r->gateway_partial));
    r->gateway_partial.clear();
    r->last_at = at;
    r->replies.push_back({"", at});
    put_waiting(r, out);
}

} // namespace

void recording_begin(recording* r, double at)
{
    r->last_at = at;
}

void recording_radio(recording* r, double at, const std::string& bytes, std::vector<std::string>* out)
{
    for (char byte : bytes) {
        if (r->radio_partial.empty())
            r->radio_partial_began = at;
        r->radio_partial += byte;
        r->radio_partial_ended = at;
        size_t size = r->radio_partial.size();
        if (size < 2 || r->radio_partial.compare(size - 2, 2, "\r\n") != 0)
            continue;
        held_item line = {r->radio_partial.substr(0, size - 2), r->radio_partial_began, at, ""};
        r->radio_partial.clear();
        if (reply_line(r, line, out))
            continue;
        if (command_holds(r, at)) {
            r->waiting.push_back(line);
            continue;
        }
        put_waiting(r, out); // a stuck command holds them no longer
        put_item(r, line, out);
    }
}

void recording_file(recording* r, double at, const std::string& path, const std::string& content,
                    std::vector<std::string>* out)
{
    held_item write = {content, at, at, path};
    if (!r->waiting.empty() && command_holds(r, at)) {
        r->waiting.push_back(write);
        return;
    }
    put_waiting(r, out);
    put_item(r, write, out);
}

void recording_gateway(recording* r, double at, const std::string& bytes, std::vector<std::string>* out)
{
    for (char byte : bytes) {
        if (r->gateway_partial.empty())
            r->gateway_partial_began = at;
        r->gateway_partial += byte;
        std::string unit;
        bool announced = false;
        if (pei_feed(&r->pei, byte, &unit, &announced) != PEI_NONE)
            gateway_unit(r, at, out);
    }
}

void recording_end(recording* r, double at, std::vector<std::string>* out)
{
    if (!r->gateway_partial.empty()) // what waited for it follows it
        gateway_unit(r, r->last_at, out);
    while (!r->replies.empty())
        close_reply(r, out);
    if (!r->radio_partial.empty()) {
        radio_line(r, {r->radio_partial, r->radio_partial_began, r->radio_partial_ended, ""}, "radio-bytes", out);
        r->radio_partial.clear();
        r->last_at = r->radio_partial_ended;
    }
    if (r->last_at >= 0 && at - r->last_at >= RECORDED_PAUSE_S) {
        char wait[32];
        snprintf(wait, sizeof wait, "wait %.2fs", std::min(at - r->last_at, RECORDED_TAIL_MAX_S));
        out->push_back(wait);
    }
}

bool recorded_config(const std::string& file, std::vector<std::string>* out)
{
    config_trace trace = {};
    read_config_traced(file.c_str(), &trace);
    if (trace.open_errno != 0)
        return false;
    bool secret = false;
    for (const config_line& line : trace.lines) {
        if (line.fate == line_fate::weather_taken || line.fate == line_fate::weather_refused)
            secret = true;
        else if (line.fate != line_fate::skipped_mark && line.fate != line_fate::no_equals &&
                 !PLAYER_KEYS.count(line.name))
            out->push_back("config " + line.text);
    }
    if (secret)
        out->push_back(std::string("# ") + WEATHER_KEY_NAME + " is left out: it is a secret.");
    return true;
}

// A session from a gateway console log: each log line read for what it shows
// for certain, and nothing more.
#include "from_log.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "escape.h"
#include "events/dispatch.h"
#include "expectations.h"

namespace {

// The player sets these itself.
const char* const PLAYER_KEYS[] = {"SYS_SERPORT", "REFLECTOR_DNS", "REFLECTOR_PORT"};
constexpr char WEATHER_KEY[] = "WEATHER_API_KEY"; // echoed masked, so never known
// The forwards the gateway logs as "TAG->DATAGRAM" (the datagram's own line
// end then shows as an empty line): gateway commands, replies, group texts.
const char* const FORWARD_TAGS[] = {"PC->", "DN->", "RG->", "GC->", "GPS:", "ROAMING->"};
// "LOGMESSAGE TEXT SECONDS" and an empty line: a control-file write after a pause.
const char* const DTMF_COMMANDS[] = {"SENDSTATUS ", "SENDTEXT 8204/820C PC: ", "SENDTEXT 8200 GC: "};
constexpr char DTMF_FILE[] = "/tmp/dtmf_ctrl";
constexpr char PTT_FILE[] = "/tmp/ptt";
// Payloads the gateway acknowledges with an SDS of its own: personal texts.
const char* const ACKNOWLEDGED_PAYLOADS[] = {"8204", "820C"};
constexpr long long PAUSE_MIN_S = 2;  // a shorter gap in whole-second stamps is no pause
constexpr long long PAUSE_MAX_S = 10; // a longer one is shortened: the session need not idle for hours

constexpr size_t STAMP_SIZE = 20; // "<07.12.26 14:03:59> ", the blank included

struct log_line {
    bool stamped = false;
    long long at = -1; // seconds, from the stamp
    std::string text;
};

bool starts(const std::string& s, const char* prefix)
{
    return s.compare(0, strlen(prefix), prefix) == 0;
}

// "<07.12.26 14:03:59> " as seconds, or -1 when s does not begin with one.
long long stamp_seconds(const std::string& s)
{
    int day, month, year, hour, minute, second, used = 0;
    if (s.size() < STAMP_SIZE || s[0] != '<' || s[STAMP_SIZE - 2] != '>' || s[STAMP_SIZE - 1] != ' ' ||
        sscanf(s.c_str(), "<%2d.%2d.%2d %2d:%2d:%2d>%n", &day, &month, &year, &hour, &minute, &second, &used) != 6 ||
        used != STAMP_SIZE - 1)
        return -1;
    struct tm t = {};
    t.tm_mday = day;
    t.tm_mon = month - 1;
    t.tm_year = year + 100;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<long long>(timegm(&t));
}

// One line of the log: a journal priority ("<6>") and the timestamp removed.
log_line read_line(std::string raw)
{
    log_line l;
    if (raw.size() >= 3 && raw[0] == '<' && isdigit(static_cast<unsigned char>(raw[1])) && raw[2] == '>')
        raw.erase(0, 3);
    l.at = stamp_seconds(raw);
    l.stamped = l.at >= 0;
    l.text = l.stamped ? raw.substr(STAMP_SIZE) : raw;
    return l;
}

struct conversion {
    std::vector<std::string> config;
    std::vector<std::string> body;
    std::map<std::string, size_t> last_write; // file -> its last "file" line in body
    bool config_read = false;                 // the first start's configuration is taken
    bool in_config = false;
    long long last_at = -1;        // the stamp of the last stamped line
    bool answers_owed = false;     // the log shows the gateway writing to the radio
    bool answered = false;         // and an answer came since
    bool model_recognized = false; // SYS_HARDWARE: sessions begin with an initialisation
};

void comment(conversion* c, const std::string& text)
{
    c->body.push_back("# " + text);
}

void writes_to_radio(conversion* c)
{
    c->answers_owed = true;
    c->answered = false;
}

// Before a step the log shows a pause ahead of: the pause, at the stamps' resolution.
void pause_before(conversion* c, const log_line& l)
{
    long long gap = c->last_at >= 0 && l.stamped ? l.at - c->last_at : 0;
    if (gap < PAUSE_MIN_S)
        return;
    char text[160];
    snprintf(text, sizeof text,
             "The log shows a pause of about %lld s here (whole seconds)%s: keep it where it matters.", gap,
             gap > PAUSE_MAX_S ? ", shortened" : "");
    comment(c, text);
    c->body.push_back("wait " + std::to_string(gap > PAUSE_MAX_S ? PAUSE_MAX_S : gap) + "s");
}

// A line the radio sent that is no answer: a radio step.
void radio_input(conversion* c, const log_line& l, const std::string& body, int payload)
{
    pause_before(c, l);
    if (c->answers_owed && c->answered)
        c->answers_owed = false; // what the gateway wrote has been answered
    c->body.push_back("radio " + session_text(body));
    for (const char* kind : ACKNOWLEDGED_PAYLOADS)
        if (payload == 1 && starts(body, kind))
            writes_to_radio(c);
    if (c->model_recognized && restarts_session(body.c_str()))
        writes_to_radio(c); // may start a new radio session, and its initialisation
}

// "data (NN/x): TEXT": NN counts TEXT with its CR, x says it was read as a payload.
void radio_line(conversion* c, const log_line& l)
{
    int length = 0, payload = 0;
    size_t used = l.text.find("): ");
    if (sscanf(l.text.c_str(), "data (%d/%d)", &length, &payload) != 2 || used == std::string::npos)
        return;
    used += 3;
    std::string body = l.text.substr(used);
    bool cr = !body.empty() && body.back() == '\r';
    if (cr && static_cast<int>(body.size()) == length)
        body.pop_back();
    else if (cr || static_cast<int>(body.size()) + 1 != length) { // +1: a CR lost on the way, as a terminal shows it
        comment(c, "A radio line the log does not show whole (a NUL in it?): " + session_text(l.text));
        return;
    }
    std::string logged = l.text.substr(0, used) + body + "\r";
    if (body == "OK" && c->answers_owed) {
        // The player's radio answers every command with OK itself: the line
        // is an expectation, and keeps the next radio line behind it.
        c->body.push_back("console " + session_text(logged));
        c->answered = true;
    } else if (body == "OK") {
        if (c->body.empty() || c->body.back() != "radio OK") { // said once for a row of them
            comment(c, "Nothing the log shows made the gateway write to the radio before this OK: the radio sends it.");
            comment(c, "If it answered a command (a local request is not logged), make it: console " +
                           session_text(logged));
        }
        radio_input(c, l, body, payload);
    } else if (starts(body, "ERROR") || starts(body, "+CME ERROR")) {
        comment(c, "The radio answered \"" + session_text(body) + "\" here: put \"answer " + session_text(body) +
                       "\" before the step that makes the gateway write the command, and \"answer OK\" after it.");
        c->answered = true;
    } else if (starts(body, "AT") || starts(body, "at")) {
        c->body.push_back("sent " + session_text(body) + "\\r"); // a radio with echo on repeats the command
        writes_to_radio(c);
    } else if (body.find('\x1A') != std::string::npos) {
        size_t end = body.find('\x1A') + 1; // an echoed SDS PDU ends with its Ctrl-Z
        c->body.push_back("sent " + session_text(body.substr(0, end)));
        if (end < body.size())
            comment(c, "The radio sent \"" + session_text(body.substr(end)) + "\" behind the echoed PDU.");
        writes_to_radio(c);
    } else {
        radio_input(c, l, body, payload);
    }
}

// The next line, or an empty stamped one (no line).
const log_line& next_of(const std::vector<log_line>& lines, size_t i)
{
    static const log_line none = {true, -1, ""};
    return i + 1 < lines.size() ? lines[i + 1] : none;
}

// "TAG->DATAGRAM" and the empty line its line end makes: the console line
// and the datagram; true when the empty line was taken.
bool forward(conversion* c, const log_line& l, const log_line& next, const char* tag)
{
    std::string datagram = l.text.substr(strlen(tag));
    bool whole = !next.stamped && next.text.empty();
    if (!whole) {
        comment(c, "A forward the log may not show whole: " + session_text(l.text));
        return false;
    }
    c->body.push_back("console " + session_text(masked(l.text)));
    c->body.push_back("datagram " + session_text(masked(datagram) + "\n"));
    if (strcmp(tag, "ROAMING->") == 0)
        writes_to_radio(c); // the reply to the radio
    return true;
}

// "SENDSTATUS 910# 2" and an empty line: the write of the DTMF file after 2 s.
bool dtmf_command(conversion* c, const log_line& l, const log_line& next, const char* command)
{
    size_t blank = l.text.rfind(' ');
    size_t start = strlen(command);
    if (blank == std::string::npos || blank < start || next.stamped || !next.text.empty()) {
        comment(c, "A command for the voice gateway the log may not show whole: " + session_text(l.text));
        return false;
    }
    std::string text = l.text.substr(start, blank - start);
    int pause = atoi(l.text.c_str() + blank + 1);
    c->body.push_back("console " + session_text(l.text));
    c->last_write[DTMF_FILE] = c->body.size();
    c->body.push_back((pause > 0 ? "after " + std::to_string(pause) + "s " : std::string()) + "file " + DTMF_FILE +
                      " " + session_text(text));
    return true;
}

// "Cannot write PATH: reason": the write logged before it did not happen.
void write_failed(conversion* c, const std::string& text)
{
    std::string path = text.substr(strlen("Cannot write "), text.find(':') - strlen("Cannot write "));
    auto it = c->last_write.find(path);
    if (it != c->last_write.end())
        c->body[it->second] = "# " + c->body[it->second] + "   (not written: " + session_text(text) + ")";
}

void config_line(conversion* c, const log_line& l)
{
    // The lookup's line ends the echo: an address, none, or no answer yet.
    if (starts(l.text, "REFLECTOR_IP:") || starts(l.text, "Could not resolve") || starts(l.text, "REFLECTOR_DNS ")) {
        c->in_config = false;
        c->config_read = true;
        return;
    }
    size_t equals = l.text.find('=');
    if (l.stamped || equals == std::string::npos)
        return;
    std::string key = l.text.substr(0, equals);
    for (const char* own : PLAYER_KEYS)
        if (key == own)
            return;
    if (key == WEATHER_KEY)
        c->config.push_back("# The log masks WEATHER_API_KEY: add \"config WEATHER_API_KEY=...\" if the weather "
                            "service matters.");
    else
        c->config.push_back("config " + l.text);
}

// One line after the configuration; returns the lines it took (1 or 2).
size_t convert_line(conversion* c, const std::vector<log_line>& lines, size_t i)
{
    const log_line& l = lines[i];
    const log_line& next = next_of(lines, i);
    const std::string& t = l.text;
    if (!l.stamped) {
        if (starts(t, "Reading file ")) {
            comment(c, "The gateway started again here (" + session_text(t) + ").");
        } else if (starts(t, "SYS_HARDWARE type recognized")) {
            c->model_recognized = true;
            writes_to_radio(c); // the radio's initialisation
        } else if (starts(t, "sigCatch errno=")) {
            comment(c, "The gateway caught signal " + t.substr(strlen("sigCatch errno=")) +
                           " here; the player stops it with SIGINT after the last line, so write \"signal NAME\" "
                           "only where a signal is part of the problem.");
        } else if (starts(t, "ROAMING->")) {
            return forward(c, l, next, "ROAMING->") ? 2 : 1;
        }
        return 1;
    }
    if (starts(t, "data (")) {
        radio_line(c, l);
    } else if (starts(t, "::")) {
        pause_before(c, l);
        c->body.push_back("reflector " + session_text(t)); // the listener logs the commands it reads
        if (!next.stamped)
            comment(c, "The datagram may go on over the next log line: check it.");
        writes_to_radio(c);
    } else if (starts(t, "LASTHEARD:")) {
        c->body.push_back("console " + session_text(masked(t)));
        c->body.push_back("datagram " + session_text(masked(t.substr(strlen("LASTHEARD:"))) + "\n"));
    } else if (starts(t, "PTT ON: ") || starts(t, "PTT OFF: ")) {
        c->body.push_back("console " + session_text(t));
        c->last_write[PTT_FILE] = c->body.size();
        c->body.push_back(std::string("file ") + PTT_FILE + " " + session_text(t.substr(t.find(": ") + 2)));
    } else if (starts(t, "status ") || starts(t, "got status -> ")) {
        c->body.push_back("console " + session_text(t));
        if (t == "status 61010")
            writes_to_radio(c); // the weather reply
    } else if (starts(t, "Cannot write ") && t.find(':') != std::string::npos) {
        write_failed(c, t);
    } else if (t.find(",POS,#232,") != std::string::npos) {
        comment(c, "The hourly position beacon went out here: " + session_text(masked(t)));
    } else {
        for (const char* tag : FORWARD_TAGS)
            if (starts(t, tag))
                return forward(c, l, next, tag) ? 2 : 1;
        for (const char* command : DTMF_COMMANDS)
            if (starts(t, command))
                return dtmf_command(c, l, next, command) ? 2 : 1;
    }
    return 1;
}

const char* const HEADER_NOTES[] = {
    "Made by sdsbridge-session --from-log from the gateway's console log. Check every line, and add what a",
    "log cannot show:",
    "- the commands and SDS PDUs the gateway wrote to the radio (\"sent\"): only a radio with echo on shows them;",
    "- requests of local programs to port 54001 (\"local\"): the gateway does not log them;",
    "- reflector datagrams other than \"::\" commands, keepalives, and which host sent a datagram;",
    "- where the radio answered other than OK (\"answer\"), and pauses shorter than the log's whole seconds.",
    "Play it with --verbose: it shows everything the gateway did, in this file's escapes.",
    "",
    "The gateway did more than its log shows (commands, PDUs, keepalives): only what a line names is checked.",
};

} // namespace

std::string session_from_log(const std::string& log, const std::string& name)
{
    std::vector<log_line> lines;
    std::istringstream in(log);
    for (std::string raw; std::getline(in, raw);)
        lines.push_back(read_line(raw));
    conversion c;
    for (size_t i = 0; i < lines.size();) {
        const log_line& l = lines[i];
        if (!c.config_read && !l.stamped && starts(l.text, "Reading file ")) {
            c.in_config = true;
            i++;
            continue;
        }
        if (c.in_config) {
            config_line(&c, l);
            i++;
            continue;
        }
        i += convert_line(&c, lines, i);
        if (l.stamped)
            c.last_at = l.at;
    }
    std::string out = "# From " + name + ": (say what the problem is) edit me\n";
    for (const char* note : HEADER_NOTES)
        out += std::string("#") + (note[0] ? " " : "") + note + "\n";
    out += "only-named\n";
    if (!c.config_read)
        out += "# The log does not show the configuration echoed at start: add its \"config\" lines.\n";
    for (const std::string& line : c.config)
        out += line + "\n";
    out += "\n";
    for (const std::string& line : c.body)
        out += line + "\n";
    return out;
}

bool convert_log_file(const std::string& log_file, const std::string& out_file)
{
    std::ifstream in(log_file, std::ios::binary);
    if (!in) {
        fprintf(stderr, "%s: cannot read it\n", log_file.c_str());
        return false;
    }
    std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string session = session_from_log(log, std::filesystem::path(log_file).filename().string());
    if (out_file.empty())
        return fwrite(session.data(), 1, session.size(), stdout) == session.size();
    std::ofstream out(out_file, std::ios::binary);
    if (!(out << session) || !out.flush()) {
        fprintf(stderr, "%s: cannot write it\n", out_file.c_str());
        return false;
    }
    return true;
}

// sdsbridge-radio-sim: a TETRA radio's PEI on a pseudo-terminal, as far as the
// gateway needs it. It answers AT commands (echo, OK/ERROR, SDS transfers with
// "+CMGS:") and sends the unsolicited lines a person or a test asks for on
// standard input (status, text, group text, position in either format, voice
// activity, raw).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "escape.h"
#include "pei.h"
#include "pty.h"
#include "radio_sim_payloads.h"
#include "words.h"

namespace {

constexpr char CR = PEI_CR;
constexpr char LF = '\n';
constexpr char CTRL_Z = PEI_CTRL_Z;
// Identity prefix of a voice activity line: the radio reports the caller's
// full TETRA identity (country and network code, then the ISSI).
constexpr const char* VOICE_IDENTITY_PREFIX = "999001";
int master_fd = -1;
int slave_fd = -1;
std::string link_path;
std::string gateway_issi = "1000001";
bool echo_on = false;        // ATZ turns echo off, ATE1 on, ATE0 off
bool error_mode = false;     // answer ERROR instead of OK
unsigned text_ref = 1;       // reference of the next text sent to the gateway
unsigned report_counter = 1; // "+CMGS:" reference for PDUs without their own
pei_input radio_input;       // command or PDU being received from the gateway
std::string stdin_input;     // partial line typed on standard input
volatile sig_atomic_t stop_requested = 0;

void on_signal(int)
{
    stop_requested = 1;
}

// "[HH:MM:SS.mmm] " of the local time.
std::string stamp()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    localtime_r(&now.tv_sec, &local);
    char text[32];
    snprintf(text, sizeof text, "[%02d:%02d:%02d.%03ld] ", local.tm_hour, local.tm_min, local.tm_sec,
             now.tv_nsec / 1000000);
    return text;
}

// Control characters shown as <CR>, <LF>, <^Z> or <0xHH>.
std::string shown(const std::string& bytes)
{
    std::string out;
    for (char byte : bytes) {
        unsigned char c = static_cast<unsigned char>(byte);
        if (c == CR) {
            out += "<CR>";
        } else if (c == LF) {
            out += "<LF>";
        } else if (c == CTRL_Z) {
            out += "<^Z>";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            snprintf(hex, sizeof hex, "<0x%02X>", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void say(const std::string& text)
{
    fputs(text.c_str(), stdout);
    fflush(stdout);
}

// Sends bytes to the gateway and logs them as one "->" entry.
void send_radio(const std::string& bytes)
{
    say(stamp() + "-> " + shown(bytes) + "\n");
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(master_fd, bytes.data() + done, bytes.size() - done);
        if (put > 0)
            done += static_cast<size_t>(put);
        else if (put < 0 && errno != EINTR && errno != EAGAIN)
            return;
    }
}

void answer_ok()
{
    send_radio(error_mode ? PEI_ERROR : PEI_OK);
}

std::string upper_text(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

// One AT command (without its CR) from the gateway.
void handle_command(const std::string& raw)
{
    std::string cmd = pei_text(raw);
    if (cmd.empty())
        return; // a bare CR is no command
    if (echo_on)
        send_radio(cmd + "\r\n");
    std::string up = upper_text(cmd);
    if (up == "ATZ")
        echo_on = false;
    else if (up == "ATE1")
        echo_on = true;
    else if (up == "ATE0")
        echo_on = false;
    answer_ok();
}

// The SDS PDU after "AT+CMGS=", up to (without) its Ctrl-Z.
void handle_pdu(const std::string& raw, bool announced)
{
    std::string pdu = pei_text(raw);
    if (echo_on)
        send_radio(pdu + "\r\n");
    if (error_mode || !announced) {
        send_radio(PEI_ERROR);
        return;
    }
    // A text PDU carries its own message reference (digits 5-6); an SDS-REPORT
    // or anything else gets the next number of our own.
    unsigned ref;
    if (!pei_text_reference(pdu, &ref)) {
        ref = report_counter;
        report_counter = (report_counter + 1) % 256;
    }
    send_radio(pei_sent_report(ref));
    send_radio(PEI_OK);
}

void radio_bytes(const char* bytes, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        std::string unit;
        bool announced = false;
        pei_unit kind = pei_feed(&radio_input, bytes[i], &unit, &announced);
        if (kind == PEI_NONE)
            continue;
        say(stamp() + "<- " + shown(unit) + "\n");
        if (kind == PEI_PDU)
            handle_pdu(unit, announced);
        else
            handle_command(unit);
    }
}

// "+CTSDSR: <AI service>,<calling>,0,<called>,0,<bits>" then the payload line;
// bits are 4 per payload digit unless given.
void send_sds(int ai_service, const std::string& issi, const std::string& payload, size_t bits = 0)
{
    if (bits == 0)
        bits = 4 * payload.size();
    send_radio("+CTSDSR: " + std::to_string(ai_service) + "," + issi + ",0," + gateway_issi + ",0," +
               std::to_string(bits) + "\r\n");
    send_radio(payload + "\r\n");
}

std::string next_text_ref()
{
    char ref[4];
    snprintf(ref, sizeof ref, "%02X", text_ref);
    text_ref = (text_ref + 1) % 256;
    return ref;
}

const char* HELP_TEXT = "Commands (one per line on standard input):\n"
                        "  status ISSI HEX4          status SDS from ISSI, e.g. status 1234567 80E8\n"
                        "  text ISSI TEXT...         personal text SDS from ISSI to the gateway\n"
                        "  group ISSI TEXT...        group text SDS from ISSI\n"
                        "  pos ISSI LAT LON [COURSE] position report (decimal degrees, course in degrees)\n"
                        "  lip ISSI LAT LON [COURSE] LIP short location report (decimal degrees, course in degrees)\n"
                        "  ptt ISSI                  start of a voice transmission by ISSI\n"
                        "  pttoff                    end of the voice transmission\n"
                        "  raw TEXT                  TEXT and CR LF (escapes \\r \\n \\t \\0 \\\\ \\xHH)\n"
                        "  error on|off              answer ERROR instead of OK\n"
                        "  help                      this list\n"
                        "  quit                      end the simulator\n";

bool parse_double(const std::string& text, double* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    *value = strtod(text.c_str(), &end);
    return end && *end == '\0' && std::isfinite(*value); // "nan" and "inf" are no degrees
}

void usage_error(const char* syntax)
{
    say(std::string("usage: ") + syntax + "\n");
}

// "pos" and "lip": the same arguments, two formats of position report.
void position_command(const std::string& verb, std::string args)
{
    std::string issi = next_word(&args);
    double lat = 0, lon = 0, course = 0;
    bool ok = parse_double(next_word(&args), &lat) && parse_double(next_word(&args), &lon);
    std::string course_text = next_word(&args);
    bool has_course = !course_text.empty();
    if (has_course)
        ok = ok && parse_double(course_text, &course);
    if (issi.empty() || !ok) {
        usage_error(verb == "lip" ? "lip ISSI LAT LON [COURSE]" : "pos ISSI LAT LON [COURSE]");
        return;
    }
    if (verb == "lip")
        send_sds(12, issi, lip_payload(lat, lon, course), LIP_PI_BITS + LIP_SHORT_BITS);
    else
        send_sds(12, issi, position_payload(lat, lon, has_course, course));
}

// One line typed on standard input; returns false for quit.
bool user_command(const std::string& line)
{
    std::string args = line;
    std::string verb = next_word(&args);
    if (verb.empty())
        return true;
    if (verb == "quit")
        return false;
    if (verb == "help") {
        say(HELP_TEXT);
    } else if (verb == "status") {
        std::string issi = next_word(&args);
        std::string value = next_word(&args);
        if (issi.empty() || value.empty())
            usage_error("status ISSI HEX4");
        else
            send_sds(13, issi, value);
    } else if (verb == "text" || verb == "group") {
        std::string issi = next_word(&args);
        if (issi.empty()) {
            usage_error(verb == "text" ? "text ISSI TEXT..." : "group ISSI TEXT...");
            return true;
        }
        std::string kind = verb == "text" ? "8204" : "8200";
        send_sds(12, issi, kind + next_text_ref() + "01" + hex_bytes(args));
    } else if (verb == "pos" || verb == "lip") {
        position_command(verb, args);
    } else if (verb == "ptt") {
        std::string issi = next_word(&args);
        if (issi.empty())
            usage_error("ptt ISSI");
        else
            send_radio(std::string("+CTXG: 1,3,0,0,1,") + VOICE_IDENTITY_PREFIX + seven_digits(issi) + "\r\n");
    } else if (verb == "pttoff") {
        send_radio("+CDTXC: 1,0\r\n");
    } else if (verb == "raw") {
        send_radio(unescape(args) + "\r\n");
    } else if (verb == "error") {
        std::string mode = next_word(&args);
        if (mode == "on" || mode == "off")
            error_mode = mode == "on";
        else
            usage_error("error on|off");
    } else {
        say("unknown command \"" + verb + "\", try help\n");
    }
    return true;
}

// Lines typed so far; returns false for quit.
bool stdin_bytes(const char* bytes, size_t count)
{
    stdin_input.append(bytes, count);
    size_t end;
    while ((end = stdin_input.find('\n')) != std::string::npos) {
        std::string line = stdin_input.substr(0, end);
        stdin_input.erase(0, end + 1);
        if (!line.empty() && line.back() == CR)
            line.pop_back();
        if (!user_command(line))
            return false;
    }
    return true;
}

// The pty, raw on both sides. The slave stays open here so that the master
// never sees a hang-up while the gateway closes and reopens its end.
bool open_pty()
{
    std::string name, why;
    master_fd = pty_open(&name, &slave_fd, &why);
    if (master_fd < 0) {
        fprintf(stderr, "%s\n", why.c_str());
        return false;
    }
    pty_make_raw(slave_fd, B0);
    say("PTY " + name + "\n");
    if (!link_path.empty()) {
        unlink(link_path.c_str());
        if (symlink(name.c_str(), link_path.c_str()) != 0) {
            perror(link_path.c_str());
            link_path.clear();
            return false;
        }
    }
    return true;
}

void install_signals()
{
    struct sigaction action = {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void run_loop()
{
    bool stdin_open = true;
    while (!stop_requested) {
        struct pollfd fds[2] = {{master_fd, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        int ready = poll(fds, stdin_open ? 2 : 1, -1);
        if (ready < 0)
            continue; // a signal: the loop test decides
        char buf[512];
        if (fds[0].revents & POLLIN) {
            ssize_t got = read(master_fd, buf, sizeof buf);
            if (got > 0)
                radio_bytes(buf, static_cast<size_t>(got));
        }
        if (stdin_open && (fds[1].revents & (POLLIN | POLLHUP))) {
            ssize_t got = read(STDIN_FILENO, buf, sizeof buf);
            if (got <= 0)
                stdin_open = false; // keep serving the radio side until a signal
            else if (!stdin_bytes(buf, static_cast<size_t>(got)))
                return;
        }
    }
}

void print_usage()
{
    say("usage: sdsbridge-radio-sim [--link PATH] [--issi GW_ISSI] [--help]\n"
        "Simulates a TETRA radio's PEI on a pseudo-terminal. The first line printed is\n"
        "\"PTY <slave path>\": give that path (or the --link PATH) as SYS_SERPORT.\n"
        "  --link PATH     also create the symbolic link PATH to the slave (removed on exit)\n"
        "  --issi GW_ISSI  the gateway radio's own ISSI in SDS headers (default 1000001)\n\n");
    say(HELP_TEXT);
}

} // namespace

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            print_usage();
            return 0;
        }
        if ((arg == "--link" || arg == "--issi") && i + 1 < argc) {
            (arg == "--link" ? link_path : gateway_issi) = argv[++i];
        } else {
            fprintf(stderr, "unknown argument %s (try --help)\n", arg.c_str());
            return 2;
        }
    }
    install_signals();
    int status = open_pty() ? 0 : 1;
    if (status == 0)
        run_loop();
    if (!link_path.empty())
        unlink(link_path.c_str());
    return status;
}

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

namespace {

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char CTRL_Z = 26;
constexpr int ISSI_DIGITS = 7;
// Identity prefix of a voice activity line: the radio reports the caller's
// full TETRA identity (country and network code, then the ISSI).
constexpr const char* VOICE_IDENTITY_PREFIX = "999001";
// Position reports: fixed start 03 80 13, and the scale of the coordinates.
constexpr double TWO_POW_32_MINUS_1 = 4294967295.0;
constexpr double COURSE_STEP_DEG = 1.40625; // 360/256
constexpr int HEIGHT_MARKER = 0x81;
constexpr int GLEN_WITH_HEIGHT = 19;
constexpr int GLEN_WITH_COURSE = 22;
// LIP short location report, as a GPS fix sends it: time elapsed < 5 s,
// position error < 20 m, standing still, additional data a reason for sending.
// The radio pads the report to whole bytes; the header counts no pad.
constexpr int LIP_PI_BITS = 8;     // protocol identifier 0x0A
constexpr int LIP_SHORT_BITS = 76; // the report after it
constexpr int LIP_LON_BITS = 25;   // 2^25 steps per full circle
constexpr int LIP_LAT_BITS = 24;   // 2^24 steps per half circle
constexpr double LIP_DIRECTION_STEP_DEG = 22.5;
constexpr int LIP_DIRECTIONS = 16;
constexpr int LIP_POSITION_ERROR_20M = 1;

int master_fd = -1;
int slave_fd = -1;
std::string link_path;
std::string gateway_issi = "1000001";
bool echo_on = false;        // ATZ turns echo off, ATE1 on, ATE0 off
bool error_mode = false;     // answer ERROR instead of OK
bool in_pdu = false;         // after "AT+CMGS=": bytes up to Ctrl-Z are the PDU
unsigned text_ref = 1;       // reference of the next text sent to the gateway
unsigned report_counter = 1; // "+CMGS:" reference for PDUs without their own
std::string radio_input;     // command or PDU being received from the gateway
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
    send_radio(error_mode ? "ERROR\r\n" : "OK\r\n");
}

std::string upper_text(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

bool starts(const std::string& text, const char* prefix)
{
    return text.compare(0, strlen(prefix), prefix) == 0;
}

// One AT command (without its CR) from the gateway.
void handle_command(const std::string& raw)
{
    std::string cmd;
    for (char c : raw)
        if (c != LF)
            cmd += c;
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
    else if (starts(up, "AT+CMGS="))
        in_pdu = true;
    answer_ok();
}

// The SDS PDU after "AT+CMGS=", up to (without) its Ctrl-Z.
void handle_pdu(const std::string& raw, bool announced)
{
    std::string pdu;
    for (char c : raw)
        if (c != CR && c != LF)
            pdu += c;
    if (echo_on)
        send_radio(pdu + "\r\n");
    if (error_mode || !announced) {
        send_radio("ERROR\r\n");
        return;
    }
    // A text PDU carries its own message reference (digits 5-6); an SDS-REPORT
    // or anything else gets the next number of our own.
    unsigned ref;
    std::string up = upper_text(pdu);
    if ((starts(up, "8204") || starts(up, "8200") || starts(up, "820C")) && up.size() >= 6 &&
        isxdigit(static_cast<unsigned char>(up[4])) && isxdigit(static_cast<unsigned char>(up[5]))) {
        ref = static_cast<unsigned>(strtoul(up.substr(4, 2).c_str(), nullptr, 16));
    } else {
        ref = report_counter;
        report_counter = (report_counter + 1) % 256;
    }
    send_radio("+CMGS: 0,4," + std::to_string(ref) + "\r\n");
    send_radio("OK\r\n");
}

void radio_bytes(const char* bytes, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        char c = bytes[i];
        radio_input += c;
        if (c == CTRL_Z) {
            say(stamp() + "<- " + shown(radio_input) + "\n");
            radio_input.pop_back();
            bool announced = in_pdu;
            in_pdu = false;
            handle_pdu(radio_input, announced);
            radio_input.clear();
        } else if (c == CR && !in_pdu) {
            say(stamp() + "<- " + shown(radio_input) + "\n");
            radio_input.pop_back();
            handle_command(radio_input);
            radio_input.clear();
        }
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

// Big-endian two's complement of degrees scaled so that full_range maps onto
// 2^32 - 1 (180 for latitude, 360 for longitude).
std::string coordinate_hex(double degrees, double full_range)
{
    double scaled = std::round(degrees * TWO_POW_32_MINUS_1 / full_range);
    if (scaled > INT32_MAX)
        scaled = INT32_MAX;
    if (scaled < INT32_MIN)
        scaled = INT32_MIN;
    uint32_t value = static_cast<uint32_t>(static_cast<int32_t>(scaled));
    char hex[9];
    snprintf(hex, sizeof hex, "%08X", value);
    return hex;
}

// Position report: 03 80 13, glen, type, "/", six unused bytes, "f", latitude,
// longitude, height marker 0x81 and height, then "V" and the course byte.
std::string position_payload(double lat, double lon, bool has_course, double course)
{
    char head[32];
    snprintf(head, sizeof head, "038013%02X%02X%02X", has_course ? GLEN_WITH_COURSE : GLEN_WITH_HEIGHT, 0x30, '/');
    std::string payload = head;
    payload += "000000000000";
    char gps[4];
    snprintf(gps, sizeof gps, "%02X", 'f');
    payload += gps;
    payload += coordinate_hex(lat, 180.0);
    payload += coordinate_hex(lon, 360.0);
    char height[8];
    snprintf(height, sizeof height, "%02X%04X", HEIGHT_MARKER, 0);
    payload += height;
    if (has_course) {
        long step = std::lround(course / COURSE_STEP_DEG);
        char tail[8];
        snprintf(tail, sizeof tail, "%02X%02X", 'V', static_cast<unsigned>(((step % 256) + 256) % 256));
        payload += tail;
    }
    return payload;
}

// value's low width bits, most significant first, as '0'/'1' characters.
void append_bits(std::string* bits, uint32_t value, int width)
{
    for (int i = width - 1; i >= 0; i--)
        *bits += ((value >> i) & 1u) ? '1' : '0';
}

// Degrees in steps of range / 2^width, two's complement in width bits; the
// top of the range is one step short of it.
uint32_t lip_coordinate(double degrees, double range, int width)
{
    double steps = std::round(degrees * std::ldexp(1.0, width) / range);
    double top = std::ldexp(1.0, width - 1);
    if (steps > top - 1)
        steps = top - 1;
    if (steps < -top)
        steps = -top;
    return static_cast<uint32_t>(static_cast<int32_t>(steps)) & ((1u << width) - 1);
}

// LIP short location report: "0A", then PDU type 0, time elapsed 0, longitude,
// latitude, position error, velocity 0, direction of travel, reason 0, and
// pad bits up to a whole byte.
std::string lip_payload(double lat, double lon, double course)
{
    std::string bits;
    append_bits(&bits, 0, 2); // short location report
    append_bits(&bits, 0, 2); // time elapsed < 5 s
    append_bits(&bits, lip_coordinate(lon, 360.0, LIP_LON_BITS), LIP_LON_BITS);
    append_bits(&bits, lip_coordinate(lat, 180.0, LIP_LAT_BITS), LIP_LAT_BITS);
    append_bits(&bits, LIP_POSITION_ERROR_20M, 3);
    append_bits(&bits, 0, 7); // velocity 0 km/h
    long direction = std::lround(course / LIP_DIRECTION_STEP_DEG) % LIP_DIRECTIONS;
    append_bits(&bits, static_cast<uint32_t>((direction + LIP_DIRECTIONS) % LIP_DIRECTIONS), 4);
    append_bits(&bits, 0, 1); // additional data: reason for sending
    append_bits(&bits, 0, 8);
    bits.append((8 - bits.size() % 8) % 8, '0'); // whole bytes
    std::string payload = "0A";
    for (size_t i = 0; i < bits.size(); i += 4)
        payload += "0123456789ABCDEF"[std::stoi(bits.substr(i, 4), nullptr, 2)];
    return payload;
}

// The last seven digits of issi, zero-padded on the left.
std::string seven_digits(const std::string& issi)
{
    std::string digits = issi.size() > ISSI_DIGITS ? issi.substr(issi.size() - ISSI_DIGITS) : issi;
    return std::string(ISSI_DIGITS - digits.size(), '0') + digits;
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

// The word at *pos (blanks skipped), advancing *pos past it.
std::string word(const std::string& line, size_t* pos)
{
    while (*pos < line.size() && line[*pos] == ' ')
        (*pos)++;
    size_t start = *pos;
    while (*pos < line.size() && line[*pos] != ' ')
        (*pos)++;
    return line.substr(start, *pos - start);
}

// The rest of the line after the one blank that ends the previous word.
std::string rest(const std::string& line, size_t pos)
{
    return pos < line.size() ? line.substr(pos + 1) : "";
}

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
void position_command(const std::string& verb, const std::string& line, size_t pos)
{
    std::string issi = word(line, &pos);
    double lat = 0, lon = 0, course = 0;
    bool ok = parse_double(word(line, &pos), &lat) && parse_double(word(line, &pos), &lon);
    std::string course_text = word(line, &pos);
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
    size_t pos = 0;
    std::string verb = word(line, &pos);
    if (verb.empty())
        return true;
    if (verb == "quit")
        return false;
    if (verb == "help") {
        say(HELP_TEXT);
    } else if (verb == "status") {
        std::string issi = word(line, &pos);
        std::string value = word(line, &pos);
        if (issi.empty() || value.empty())
            usage_error("status ISSI HEX4");
        else
            send_sds(13, issi, value);
    } else if (verb == "text" || verb == "group") {
        std::string issi = word(line, &pos);
        if (issi.empty()) {
            usage_error(verb == "text" ? "text ISSI TEXT..." : "group ISSI TEXT...");
            return true;
        }
        std::string kind = verb == "text" ? "8204" : "8200";
        send_sds(12, issi, kind + next_text_ref() + "01" + hex_bytes(rest(line, pos)));
    } else if (verb == "pos" || verb == "lip") {
        position_command(verb, line, pos);
    } else if (verb == "ptt") {
        std::string issi = word(line, &pos);
        if (issi.empty())
            usage_error("ptt ISSI");
        else
            send_radio(std::string("+CTXG: 1,3,0,0,1,") + VOICE_IDENTITY_PREFIX + seven_digits(issi) + "\r\n");
    } else if (verb == "pttoff") {
        send_radio("+CDTXC: 1,0\r\n");
    } else if (verb == "raw") {
        send_radio(unescape(rest(line, pos)) + "\r\n");
    } else if (verb == "error") {
        std::string mode = word(line, &pos);
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
    master_fd = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_fd < 0 || grantpt(master_fd) != 0 || unlockpt(master_fd) != 0) {
        perror("posix_openpt");
        return false;
    }
    const char* name = ptsname(master_fd);
    if (!name) {
        perror("ptsname");
        return false;
    }
    slave_fd = open(name, O_RDWR | O_NOCTTY);
    if (slave_fd < 0) {
        perror(name);
        return false;
    }
    struct termios tio;
    tcgetattr(slave_fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_fd, TCSANOW, &tio);
    say(std::string("PTY ") + name + "\n");
    if (!link_path.empty()) {
        unlink(link_path.c_str());
        if (symlink(name, link_path.c_str()) != 0) {
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

// The load driver: a busy station, and the figures that judge the gateway under it.
#include "load.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "escape.h"
#include "gateway.h"
#include "session.h"
#include "steps.h"

namespace {

// Every second a reflector text and a local request each start a personal SDS
// transfer, while a radio user sends a "PC:" text every 10 s. Without the
// repeater mode switch and with no pause after a PDU the radio can send all
// of them in time, so any delay measured is the gateway's own: the serial
// thread reads every OK those transfers wait for, and acknowledges each radio
// text with a sequence of its own that holds it for its one second.
constexpr int LOAD_TEXT_EVERY_S = 10;
constexpr double LOAD_MAX_BLOCK_S = 1.5; // longest the radio's lines may go unread
constexpr double LOAD_DRAIN_S = 10;      // for the last forwards once the load stops
constexpr const char* LOAD_CALL = "LOAD-GW";
constexpr const char* LOAD_RADIO_ISSI = "2620001";

// A radio text of the load: when its payload line went out, and the forward
// the reflector must get for it once the radio confirms the acknowledgement.
struct load_text {
    double at;
    std::string forward;
};

// The "+CTSDSR:" header and the payload line of personal text n: SDS-TL
// "8204", the reference, text coding "01", the text.
void send_radio_text(fake_radio* radio, int n, std::vector<load_text>* texts)
{
    std::string text = "PC:radio text " + std::to_string(n);
    std::string payload = "8204" + hex_bytes(std::string(1, static_cast<char>(n % 256))) + "01" + hex_bytes(text);
    radio_write(radio, "+CTSDSR: 12," + std::string(LOAD_RADIO_ISSI) + ",0,1000001,0," +
                           std::to_string(4 * payload.size()) + "\r\n");
    texts->push_back({now_s(), "::" + std::string(LOAD_CALL) + ";" + LOAD_RADIO_ISSI + ";" + text + ";\n"});
    radio_write(radio, payload + "\r\n");
}

// How many times the reflector got t's forward; first: when it came first.
int forwards_of(const record& r, const load_text& t, double* first)
{
    int copies = 0;
    for (const event& d : r.datagrams)
        if (d.text == t.forward && copies++ == 0 && first)
            *first = d.at;
    return copies;
}

// The longest time a radio line waited for its "data (NN/x): line" console
// line; a line never logged counts until end. The serial thread reads the
// lines in order, so each is looked for after the previous one's.
double longest_block(const session& s, double end, std::string* which)
{
    double longest = 0;
    size_t cursor = 0;
    const std::vector<event>& console = s.rec.console;
    for (const event& line : s.radio.lines_sent) {
        double read_at = end;
        for (size_t i = cursor; i < console.size(); i++) {
            const std::string& c = console[i].text;
            size_t text = c.find("): ");
            if (c.rfind("data (", 0) == 0 && text != std::string::npos &&
                c.compare(text + 3, std::string::npos, line.text + "\r") == 0) {
                read_at = console[i].at;
                cursor = i + 1;
                break;
            }
        }
        if (read_at - line.at > longest) {
            longest = read_at - line.at;
            *which = line.text;
        }
    }
    return longest;
}

// When each transfer began on the radio line: its "AT+CTSDS=12,0" (no
// repeater mode switch in the load), with whether it was an acknowledgement
// (its AT+CMGS announces 32 bits to the radio user).
struct transfer_start {
    double at;
    bool ack;
};

std::vector<transfer_start> transfer_starts(const record& r)
{
    static const std::string START = "AT+CTSDS=12,0\r";
    static const std::string ACK = "AT+CMGS=" + std::string(LOAD_RADIO_ISSI) + ",32\r";
    std::vector<transfer_start> starts;
    for (size_t at = r.serial.find(START); at != std::string::npos; at = r.serial.find(START, at + 1))
        starts.push_back({r.serial_at[at], r.serial.compare(at + START.size(), ACK.size(), ACK) == 0});
    return starts;
}

// The acknowledgements' lateness: from a radio text's payload line to the
// first byte of its acknowledgement. Each may wait for the transfer in
// progress and for one more that asked before it, plus 1 s; returns the
// count of those that took longer. A transfer lasts until the next begins
// (the load keeps the line busy).
int ack_lateness(const record& r, const std::vector<load_text>& texts, double end, std::vector<double>* lateness)
{
    std::vector<transfer_start> starts = transfer_starts(r);
    double longest = 0; // the longest transfer other than an acknowledgement
    for (size_t i = 0; i + 1 < starts.size(); i++)
        if (!starts[i].ack)
            longest = std::max(longest, starts[i + 1].at - starts[i].at);
    int beyond = 0;
    size_t next_ack = 0;
    for (const load_text& t : texts) {
        while (next_ack < starts.size() && (!starts[next_ack].ack || starts[next_ack].at < t.at))
            next_ack++;
        double acked = next_ack < starts.size() ? starts[next_ack++].at : end;
        double in_progress = 0;
        for (size_t i = 0; i + 1 < starts.size() && starts[i].at <= t.at; i++)
            in_progress = starts[i + 1].at - starts[i].at;
        lateness->push_back(acked - t.at);
        beyond += acked - t.at > in_progress + longest + 1.0;
    }
    return beyond;
}

void print_ack_lateness(session* s, const std::vector<load_text>& texts, double end)
{
    std::vector<double> lateness;
    int beyond = ack_lateness(s->rec, texts, end, &lateness);
    std::sort(lateness.begin(), lateness.end());
    double median = lateness.empty() ? 0 : lateness[lateness.size() / 2];
    double worst = lateness.empty() ? 0 : lateness.back();
    printf("load: acknowledgement lateness median %.2f s, worst %.2f s; %d beyond its bound\n", median, worst, beyond);
    if (beyond > 0)
        fail(s, 0,
             std::to_string(beyond) +
                 " acknowledgements waited longer than the transfer in progress, one more and 1 s");
}

// Each second a reflector text and a local request; every 10 s a radio text.
std::vector<load_text> drive(session* s, int seconds)
{
    int local_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::vector<load_text> texts;
    double start = now_s();
    for (int second = 0; second < seconds; second++) {
        wait_until(
            s, [] { return false; }, start + second);
        std::string n = std::to_string(second);
        send_udp(s->reflector_fd, GATEWAY_PORT, "::LOAD;ALPHA;PC:1234567:reflector text " + n + ";");
        send_udp(local_fd, LOCAL_PORT, "7654321local request " + n);
        if (second % LOAD_TEXT_EVERY_S == LOAD_TEXT_EVERY_S / 2)
            send_radio_text(&s->radio, static_cast<int>(texts.size()), &texts);
    }
    close(local_fd);
    auto all_forwarded = [s, &texts] {
        return std::all_of(texts.begin(), texts.end(),
                           [s](const load_text& t) { return forwards_of(s->rec, t, nullptr) > 0; });
    };
    wait_until(s, all_forwarded, now_s() + LOAD_DRAIN_S);
    return texts;
}

void report(session* s, int seconds, const std::vector<load_text>& texts, double end)
{
    int arrived = 0, twice = 0;
    double worst = 0;
    for (const load_text& t : texts) {
        double first = 0;
        int copies = forwards_of(s->rec, t, &first);
        arrived += copies > 0;
        twice += copies > 1;
        if (copies > 0)
            worst = std::max(worst, first - t.at);
    }
    std::string which;
    double block = longest_block(*s, end, &which);
    const std::string& serial = s->rec.serial;
    int pdus = static_cast<int>(std::count(serial.begin(), serial.end(), PEI_CTRL_Z)) - s->radio.acks_confirmed;
    printf("load: %d s, each second 1 reflector text and 1 local request; %d of their %d transfers reached the radio\n",
           seconds, pdus, 2 * seconds);
    printf("load: radio texts sent %zu, forwarded %d, forwarded twice %d\n", texts.size(), arrived, twice);
    printf("load: worst lateness of a forward %.2f s\n", worst);
    printf("load: longest block of the radio reader %.2f s (line \"%s\")\n", block, visible(which).c_str());
    if (arrived < static_cast<int>(texts.size()))
        fail(s, 0,
             std::to_string(texts.size() - static_cast<size_t>(arrived)) + " radio texts never reached the reflector");
    if (twice > 0)
        fail(s, 0, std::to_string(twice) + " radio texts reached the reflector more than once");
    if (block > LOAD_MAX_BLOCK_S)
        fail(s, 0, "the radio reader was blocked for more than 1.5 s");
    if (s->opt->ack_load)
        print_ack_lateness(s, texts, end);
}

} // namespace

// The ack form pauses SYS_CTOM_WAIT=2 s after every personal transfer, so the
// senders always have a transfer waiting, and checks how late the
// acknowledgements of the radio texts go out.
bool run_load(const player_options& opt)
{
    session_spec script;
    script.file = opt.ack_load ? "load-acks" : "load";
    script.config = {std::string("GATEWAY_CALL=") + LOAD_CALL, "DMO_REPEATER=NO",
                     opt.ack_load ? "SYS_CTOM_WAIT=2" : "SYS_CTOM_WAIT=0"};
    session s;
    session_begin(&s, opt, script);
    s.radio.confirm_acks = true;
    s.reflector_fd = bind_udp(s, DEFAULT_REFLECTOR_PORT);
    if (s.reflector_fd < 0 || !start_gateway(&s) || !gateway_ready(&s, line_spec{})) {
        session_release(&s);
        return false;
    }
    std::vector<load_text> texts = drive(&s, opt.load_s);
    double end = now_s();
    stop_gateway(&s);
    report(&s, opt.load_s, texts, end);
    session_release(&s);
    printf("%s %s\n", s.failures ? "FAIL" : "PASS", script.file.c_str());
    return s.failures == 0;
}

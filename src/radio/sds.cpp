// SDS-TL text transfers over the PEI (AT+CTSDS / AT+CMGS), with the DMO
// repeater mode switched off around each transfer when configured.
#include "radio/sds.h"

#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "formats/text_pdu.h"
#include "global.h"
#include "radio/serial.h"
#include "util/console.h"
#include "util/control_chars.h"
#include "util/text.h"

unsigned sds_lfd = 16;

namespace {

// The radio takes at most 560 bits of SDS type 4 user data: the 4 header
// bytes and 66 text bytes.
constexpr int MAX_SDS_BITS = 560;

// Operating mode 1 for the transfer; a DMO repeater cannot send SDS in mode 6.
void leave_repeater_mode(bool pause)
{
    if (!dmo_repeater_on())
        return;
    write_ser("AT+CTOM=1\r");
    wait_ok();
    if (pause)
        sleep_s(SYS_CTOM_WAIT);
}

void back_to_repeater_mode()
{
    if (!dmo_repeater_on())
        return;
    write_ser("AT+CTOM=6\r");
    wait_ok();
}

// The PDU header with the next message reference, which then advances
// (255 wraps to 0). Caller has the serial line.
void format_header(char* header, size_t size, const char* type)
{
    text_pdu_header(header, size, type, sds_lfd);
    sds_lfd = sds_lfd >= 255 ? 0 : sds_lfd + 1;
}

// Bit count for AT+CMGS: 8 bits per byte of header and text, capped at 560.
int announced_bits(const char* header, const char* hex_text)
{
    int bits = 4 * static_cast<int>(strlen(header) + strlen(hex_text));
    if (bits > MAX_SDS_BITS) {
        log_refusal("message to long %i\n", bits);
        bits = MAX_SDS_BITS;
    }
    return bits;
}

void encode_text(const char* message, char* hex_text, size_t size)
{
    int len = static_cast<int>(strnlen(message, SDS_MAX_TEXT));
    encodehex(message, len, hex_text, size);
}

void write_pdu(const char* header, const char* hex_text)
{
    char FullSDS[2500];
    snprintf(FullSDS, sizeof FullSDS, "%s%s%c", header, hex_text, CTRL_Z);
    write_ser(FullSDS);
}

// With the line: whether the port is open for a transfer to destination. A
// transfer to a closed port would only spend its waits; say what is lost.
bool port_open_for(const char* destination)
{
    if (serport.load() >= 0)
        return true;
    log_failure("SDS to %s not sent: radio port closed\n", destination);
    return false;
}

// What tells a personal text transfer from a group one. The group text
// pauses before it starts and does not wait for the PDU's OK; the personal
// one waits for it and then gives the radio SYS_CTOM_WAIT seconds to send.
struct text_transfer {
    const char* pdu_type;  // SDS-TL type digits of the header
    bool pause_before;     // SYS_CTOM_WAIT after leaving repeater mode
    bool wait_pdu_ok;      // wait for the OK after the PDU
    bool pause_ctom_after; // pause SYS_CTOM_WAIT after the PDU, else 1 s
};

constexpr text_transfer PERSONAL_TEXT = {TEXT_PDU_PERSONAL, false, true, true};
constexpr text_transfer GROUP_TEXT = {TEXT_PDU_GROUP, true, false, false};

// One text transfer; the caller has the serial line.
void send_text_sds(const text_transfer& kind, const char* destination, const char* message)
{
    if (!port_open_for(destination))
        return;
    leave_repeater_mode(kind.pause_before);
    write_ser("AT+CTSDS=12,0\r\n");
    wait_ok();
    char SDSmessage[1000];
    encode_text(message, SDSmessage, sizeof SDSmessage);
    char controlString[100];
    format_header(controlString, sizeof controlString, kind.pdu_type);
    int bits = announced_bits(controlString, SDSmessage);
    char FullCommand[600];
    snprintf(FullCommand, sizeof FullCommand, "AT+CMGS=%s,%i\r\n", destination, bits);
    write_ser(FullCommand);
    wait_ok();
    write_pdu(controlString, SDSmessage);
    sds_sent_count++;
    if (kind.wait_pdu_ok)
        wait_ok();
    sleep_s(kind.pause_ctom_after ? SYS_CTOM_WAIT : 1);
    back_to_repeater_mode();
}

// The acknowledgement; the caller has the serial line.
void send_ack(const char* issi, const char* lfd)
{
    if (!port_open_for(issi))
        return;
    leave_repeater_mode(true);
    write_ser("AT+CTSDS=12,0\r\n");
    char FullCommand[500];
    snprintf(FullCommand, sizeof FullCommand, "AT+CMGS=%s,32\r", issi);
    write_ser(FullCommand);
    char report[TEXT_PDU_REPORT_SIZE];
    text_pdu_report(report, sizeof report, lfd);
    snprintf(FullCommand, sizeof FullCommand, "%s%c", report, CTRL_Z);
    write_ser(FullCommand);
    sleep_s(1);
    back_to_repeater_mode();
}

} // namespace

void sds_personal_sequence(const char* sourceid, const char* message)
{
    send_text_sds(PERSONAL_TEXT, sourceid, message);
}

void sds_group_sequence(const char* message)
{
    send_text_sds(GROUP_TEXT, "1", message);
}

void sds_ack_sequence(const char* issi, const char* lfd)
{
    send_ack(issi, lfd);
}

int sds_longest_sequence_s()
{
    // Personal: three waits and SYS_CTOM_WAIT after the PDU; group: two waits,
    // SYS_CTOM_WAIT before and 1 s after; acknowledgement: 1 s after. A
    // repeater adds two mode switches with a wait each and, to the group text
    // and the acknowledgement, SYS_CTOM_WAIT before.
    int ctom = SYS_CTOM_WAIT > 0 ? SYS_CTOM_WAIT : 0;
    int repeater = dmo_repeater_on() ? 2 : 0;
    int personal = 3 + ctom + repeater;
    int group = 2 + 1 + repeater + (repeater ? ctom : 0);
    return personal > group ? personal : group;
}

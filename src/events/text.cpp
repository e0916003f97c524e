// Text SDS reception: decoding a received text, acknowledging personal texts,
// and forwarding each text to the reflector or the voice gateway by its prefix.
#include "util/text.h"

#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "control/voice_gateway.h"
#include "events/handlers.h"
#include "events/session.h"
#include "net/datagrams.h"
#include "net/reflector_messages.h"
#include "radio/sds.h"
#include "util/console.h"

namespace {

// SDS-TL text PDU on the line: "82", message type (2), reference (2),
// coding (2), then the text as hex digits.
constexpr int TEXT_DIGITS_START = 8;
constexpr int REFERENCE_START = 4;
// Letters upper-cased so that "pc:" routes like "PC:".
constexpr int PREFIX_LENGTH = 3;
// Pause, in seconds, before a plain group text reaches the voice gateway;
// the serial thread reads no line meanwhile.
constexpr int GROUP_TEXT_DELAY_S = 6;

// The personal text's forward, held until the radio confirms a sent SDS.
// It has storage of its own so that reports composed meanwhile (group texts,
// positions, voice activity) cannot replace what the confirmation releases.
char held_forward[MESSAGE_SIZE];

// The hex text of the current payload line, "" when the line is too short.
const char* text_digits()
{
    size_t len = strnlen(data, DATA_SIZE - 1);
    return len > static_cast<size_t>(TEXT_DIGITS_START) ? data + TEXT_DIGITS_START : "";
}

// Decodes digits text digits of the current line into sendtext and upper-cases
// its first three bytes. decodehex reads nothing past the line's terminator
// and writes nothing past sendtext, so any announced length is safe.
void decode_text(int digits)
{
    memset(sendtext, 0, sizeof sendtext);
    decodehex(text_digits(), digits, sendtext, sizeof sendtext);
    upper(sendtext, PREFIX_LENGTH);
}

// Texts that are gateway commands for the reflector, by their prefix, and
// what a personal one holds until the radio confirms a sent SDS.
struct command_prefix {
    char letters[3]; // the prefix without its colon, also the log tag
    int held;        // msg while its forward waits for the confirmation
};
constexpr command_prefix COMMAND_PREFIXES[] = {{"PC", MSG_PC}, {"DN", MSG_DN}, {"RG", MSG_RG}};

// True when the decoded text begins with the two letters and a colon.
bool has_prefix(const char* letters)
{
    return sendtext[0] == letters[0] && sendtext[1] == letters[1] && sendtext[2] == ':';
}

// The command prefix the decoded text begins with, or null.
const command_prefix* command_of_text()
{
    for (const command_prefix& command : COMMAND_PREFIXES)
        if (has_prefix(command.letters))
            return &command;
    return nullptr;
}

// The log tag of a held reflector datagram, or null when msg holds none.
const char* held_tag()
{
    for (const command_prefix& command : COMMAND_PREFIXES)
        if (command.held == msg)
            return command.letters;
    return nullptr;
}

void compose_group_report(char* buf, size_t size)
{
    char time[REPORT_TIME_SIZE];
    format_report_time(time, sizeof time);
    format_group_text_report(buf, size, GATEWAY_CALL, GATEWAY_COMMENT, time, CALL, CALL_ID, sendtext);
}

// Composes the forward of a personal text into held_forward and sets msg.
void hold_personal_forward()
{
    char header[REPLY_HEADER_SIZE];
    size_t header_len = format_reply_header(header, sizeof header);
    if (const command_prefix* command = command_of_text()) {
        format_gateway_command(held_forward, sizeof held_forward, GATEWAY_CALL, CALL_ID, sendtext);
        msg = command->held;
    } else if (header_len > 0 && strncmp(sendtext, header, header_len) == 0) {
        // A reply: the header and the CR after it are dropped.
        const char* reply = strlen(sendtext) > header_len + 1 ? sendtext + header_len + 1 : "";
        format_gateway_reply(held_forward, sizeof held_forward, GATEWAY_CALL, CALL_ID, reply);
        msg = MSG_PC;
    } else if (has_prefix("GC")) {
        compose_group_report(held_forward, sizeof held_forward);
        msg = MSG_PC;
    } else {
        copy_field(held_forward, sendtext);
        msg = MSG_SVX;
    }
}

// Formats a gateway command datagram from sendtext, logs it behind tag and sends it.
void forward_command_now(const char* tag)
{
    char message[MESSAGE_SIZE];
    format_gateway_command(message, sizeof message, GATEWAY_CALL, CALL_ID, sendtext);
    log_ts("%s->%s\n", tag, message);
    send_to_reflector(message);
}

} // namespace

void handle_personal_text()
{
    // sdslength counts the whole PDU in bits; the 8 header digits are not text.
    int digits = sdslength / 4 - TEXT_DIGITS_START;
    decode_text(digits);
    char lfd[3];
    snprintf(lfd, sizeof lfd, "%2.2s", data + REFERENCE_START);
    send_sds_ack(CALL_ID, lfd);
    hold_personal_forward();
}

void handle_group_text()
{
    // The line's CR is counted, so the window reaches one digit past the text.
    int digits = static_cast<int>(strnlen(data, DATA_SIZE - 1)) - TEXT_DIGITS_START;
    decode_text(digits);
    if (const command_prefix* command = command_of_text()) {
        forward_command_now(command->letters);
    } else if (has_prefix("GC")) {
        char message[MESSAGE_SIZE];
        compose_group_report(message, sizeof message);
        log_ts("GC->%s\n", message);
        send_to_reflector(message);
    } else {
        send_svx_command("SENDTEXT 8200 GC:", sendtext, GROUP_TEXT_DELAY_S);
    }
}

void handle_confirmation()
{
    // Any confirmed transfer releases the held forward, not only our acknowledgement.
    if (const char* tag = held_tag()) {
        log_ts("%s->%s\n", tag, held_forward);
        send_to_reflector(held_forward);
    } else if (msg == MSG_SVX) {
        send_svx_command("SENDTEXT 8204/820C PC:", held_forward, 0);
    }
    msg = MSG_NONE;
    held_forward[0] = '\0';
}

// Text SDS reception: decoding a received text, acknowledging personal texts,
// and forwarding each text to the reflector or the voice gateway by its prefix.
#include "util/text.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "control/voice_gateway.h"
#include "events/handlers.h"
#include "events/session.h"
#include "net/datagrams.h"
#include "net/reflector_messages.h"
#include "radio/turns.h"
#include "util/console.h"

namespace {

// SDS-TL text PDU on the line: "82", message type (2), reference (2),
// coding (2), then the text as hex digits.
constexpr int TEXT_DIGITS_START = 8;
constexpr int REFERENCE_START = 4;
// Letters upper-cased so that "pc:" routes like "PC:".
constexpr int PREFIX_LENGTH = 3;

// Personal texts' forwards, held until the radio confirms a sent SDS; a
// confirmation releases all of them, oldest first. They have storage of their
// own so that reports composed meanwhile (group texts, positions, voice
// activity) cannot replace what a confirmation releases, and a second text
// that arrives before the first is confirmed queues behind it.
struct held_forward {
    int kind;                // MSG_PC, MSG_DN, MSG_RG or MSG_SVX
    char text[MESSAGE_SIZE]; // the datagram, or the text for the voice gateway
};
held_forward held[HELD_FORWARDS_MAX];
int held_first = 0;
int held_count = 0;

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

// The log tag of a held reflector datagram of kind, or null for none.
const char* held_tag(int kind)
{
    for (const command_prefix& command : COMMAND_PREFIXES)
        if (command.held == kind)
            return command.letters;
    return nullptr;
}

// Forwards the oldest held message, as its confirmation would, and keeps msg
// naming the kind of the next one.
void release_oldest()
{
    const held_forward& h = held[held_first];
    if (const char* tag = held_tag(h.kind)) {
        log_ts("%s->%s\n", tag, h.text);
        send_to_reflector(h.text);
    } else if (h.kind == MSG_SVX) {
        send_svx_command("SENDTEXT 8204/820C PC:", h.text, 0);
    }
    held_first = (held_first + 1) % HELD_FORWARDS_MAX;
    held_count--;
    msg = held_count > 0 ? held[held_first].kind : MSG_NONE;
}

// A new slot at the end of the queue. A full queue forwards its oldest first:
// late, but never lost.
held_forward& new_held_slot()
{
    if (held_count == HELD_FORWARDS_MAX) {
        log_refusal("%d forwards wait for the radio's confirmation: the oldest goes now\n", held_count);
        release_oldest();
    }
    held_count++;
    return held[(held_first + held_count - 1) % HELD_FORWARDS_MAX];
}

void compose_group_report(char* buf, size_t size)
{
    char time[REPORT_TIME_SIZE];
    format_report_time(time, sizeof time);
    format_group_text_report(buf, size, GATEWAY_CALL, GATEWAY_COMMENT, time, CALL, CALL_ID, sendtext);
}

// Composes the forward of a personal text at the end of the held queue; msg
// names the kind of the oldest held.
void hold_personal_forward()
{
    held_forward& h = new_held_slot();
    char header[REPLY_HEADER_SIZE];
    size_t header_len = format_reply_header(header, sizeof header);
    if (const command_prefix* command = command_of_text()) {
        format_gateway_command(h.text, sizeof h.text, GATEWAY_CALL, CALL_ID, sendtext);
        h.kind = command->held;
    } else if (header_len > 0 && strncmp(sendtext, header, header_len) == 0) {
        // A reply: the header and the CR after it are dropped.
        const char* reply = strlen(sendtext) > header_len + 1 ? sendtext + header_len + 1 : "";
        format_gateway_reply(h.text, sizeof h.text, GATEWAY_CALL, CALL_ID, reply);
        h.kind = MSG_PC;
    } else if (has_prefix("GC")) {
        compose_group_report(h.text, sizeof h.text);
        h.kind = MSG_PC;
    } else {
        copy_field(h.text, sendtext);
        h.kind = MSG_SVX;
    }
    msg = held[held_first].kind;
}

// The message reference of the payload line: two hex digits, else false.
// Without them the acknowledgement would miss its Ctrl-Z and leave the radio
// in PDU input, swallowing the next transfer's commands.
bool message_reference(char* lfd, size_t size)
{
    const char* ref = data + REFERENCE_START;
    if (strnlen(data, REFERENCE_START + 2) < REFERENCE_START + 2 || !isxdigit(static_cast<unsigned char>(ref[0])) ||
        !isxdigit(static_cast<unsigned char>(ref[1])))
        return false;
    snprintf(lfd, size, "%2.2s", ref);
    return true;
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
    char lfd[3];
    if (!message_reference(lfd, sizeof lfd)) {
        log_refusal("SDS text from %s without a message reference: not acknowledged\n", CALL_ID);
        return;
    }
    decode_text(digits);
    serial_queue_ack(CALL_ID, lfd);
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
    // Any confirmed transfer releases what is held, not only our
    // acknowledgement's forward: every held text has been acknowledged by
    // now, and a confirmation the radio never sent (it answered an error, or
    // the line was garbled) must not leave every later forward one behind.
    release_held_forwards();
}

void release_held_forwards()
{
    while (held_count > 0)
        release_oldest();
}

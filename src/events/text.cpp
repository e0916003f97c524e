// Text SDS reception: decoding a received text, acknowledging personal texts,
// and forwarding each text to the reflector or the voice gateway by its prefix.
#include "util/text.h"

#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "control/voice_gateway.h"
#include "events/handlers.h"
#include "events/session.h"
#include "formats/text_pdu.h"
#include "net/datagrams.h"
#include "net/reflector_messages.h"
#include "net/reports.h"
#include "radio/turns.h"
#include "util/console.h"

namespace {

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

// Decodes digits text digits of line into text and upper-cases its first
// three bytes (zero-filled behind the text, so that short texts compare
// safely). The decoder reads nothing past the line's terminator and writes
// nothing past text, so any announced length is safe.
void decode_text(const char* line, int digits, char (&text)[SENDTEXT_SIZE])
{
    memset(text, 0, sizeof text);
    text_pdu_decode(line, digits, text, sizeof text);
    upper(text, PREFIX_LENGTH);
}

// Texts that are gateway commands for the reflector, by their prefix, and
// what a personal one holds until the radio confirms a sent SDS.
struct command_prefix {
    char letters[3]; // the prefix without its colon, also the log tag
    int held;        // msg while its forward waits for the confirmation
};
constexpr command_prefix COMMAND_PREFIXES[] = {{"PC", MSG_PC}, {"DN", MSG_DN}, {"RG", MSG_RG}};

// True when the decoded text begins with the two letters and a colon.
bool has_prefix(const char* text, const char* letters)
{
    return text[0] == letters[0] && text[1] == letters[1] && text[2] == ':';
}

// The command prefix the decoded text begins with, or null.
const command_prefix* command_of_text(const char* text)
{
    for (const command_prefix& command : COMMAND_PREFIXES)
        if (has_prefix(text, command.letters))
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
        send_svx_command("SENDTEXT 8204/820C PC:", h.text, 0, serial_pause_s);
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

// The layout of the group text report of text from sender, for compose_report
// and send_report.
auto group_report(const char* sender, const char* text)
{
    return [sender, text](char* buf, size_t size, const char* time) {
        format_group_text_report(buf, size, GATEWAY_CALL, GATEWAY_COMMENT, time, CALL, sender, text);
    };
}

// Composes the forward of a personal text at the end of the held queue; msg
// names the kind of the oldest held.
void hold_personal_forward(const char* sender, const char* text)
{
    held_forward& h = new_held_slot();
    char header[REPLY_HEADER_SIZE];
    size_t header_len = format_reply_header(header, sizeof header);
    if (const command_prefix* command = command_of_text(text)) {
        format_gateway_command(h.text, sizeof h.text, GATEWAY_CALL, sender, text);
        h.kind = command->held;
    } else if (header_len > 0 && strncmp(text, header, header_len) == 0) {
        // A reply: the header and the CR after it are dropped.
        const char* reply = strlen(text) > header_len + 1 ? text + header_len + 1 : "";
        format_gateway_reply(h.text, sizeof h.text, GATEWAY_CALL, sender, reply);
        h.kind = MSG_PC;
    } else if (has_prefix(text, "GC")) {
        compose_report(h.text, sizeof h.text, group_report(sender, text));
        h.kind = MSG_PC;
    } else {
        copy_field(h.text, text);
        h.kind = MSG_SVX;
    }
    msg = held[held_first].kind;
}

// Formats a gateway command datagram from text, logs it behind tag and sends it.
void forward_command_now(const char* tag, const char* sender, const char* text)
{
    char message[MESSAGE_SIZE];
    format_gateway_command(message, sizeof message, GATEWAY_CALL, sender, text);
    log_ts("%s->%s\n", tag, message);
    send_to_reflector(message);
}

} // namespace

void handle_personal_text(const char* line, int header_bits, const char* sender)
{
    // Without a reference the acknowledgement would miss its Ctrl-Z and leave
    // the radio in PDU input, swallowing the next transfer's commands.
    char lfd[TEXT_PDU_REFERENCE_DIGITS + 1];
    if (!text_pdu_reference(line, lfd, sizeof lfd)) {
        log_refusal("SDS text from %s without a message reference: not acknowledged\n", sender);
        return;
    }
    char text[SENDTEXT_SIZE];
    decode_text(line, text_pdu_announced_digits(header_bits), text);
    serial_queue_ack(sender, lfd);
    hold_personal_forward(sender, text);
}

void handle_group_text(const char* line, const char* sender)
{
    // The line's CR is counted, so the window reaches one digit past the text.
    int digits = static_cast<int>(strnlen(line, DATA_SIZE - 1)) - TEXT_PDU_HEADER_DIGITS;
    char text[SENDTEXT_SIZE];
    decode_text(line, digits, text);
    if (const command_prefix* command = command_of_text(text)) {
        forward_command_now(command->letters, sender, text);
    } else if (has_prefix(text, "GC")) {
        send_report("GC->", "\n", group_report(sender, text));
    } else {
        send_svx_command("SENDTEXT 8200 GC:", text, GROUP_TEXT_DELAY_S, serial_pause_s);
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

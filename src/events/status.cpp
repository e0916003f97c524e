// Status SDS: a radio's 16-bit status value becomes a DTMF command for the
// voice gateway, a roaming reply, or a weather reply.
#include <cstdio>

#include "config/config.h"
#include "control/voice_gateway.h"
#include "events/handlers.h"
#include "events/session.h"
#include "events/weather.h"
#include "net/datagrams.h"
#include "radio/turns.h"
#include "util/console.h"
#include "util/text.h"

namespace {

constexpr int STATUS_DIGITS = 4; // a status payload is four hex digits before its CR
constexpr unsigned STATUS_ROAMING = 61005;
constexpr unsigned STATUS_WEATHER = 61010;
constexpr int DTMF_TEXT_SIZE = 50;      // longest command string + NUL, with room to spare
constexpr int ROAMING_TEXT_SIZE = 1024; // the notice datagram, then the three-line reply
constexpr int COMMAND_WAIT_S = 2;       // lets the voice gateway finish what it is doing

struct status_command {
    unsigned status;
    const char* command;
};

// The status keys of the radios and the voice gateway functions they work.
// 33322 selects "91232#", the same command as 33320, and not what the pattern
// of its neighbours suggests; keep it so, status keys already set up rely on it.
constexpr status_command STATUS_COMMANDS[] = {
    {33000, "910#"},    {33009, "919#"},   {33020, "9120#"},   {33099, "9199#"},   {33320, "91232#"},
    {33321, "912321#"}, {33322, "91232#"}, {33323, "912323#"}, {33326, "912326#"}, {33620, "91262#"},
    {61000, "91#"},     {61001, "#"},      {61004, "9199#1#"},
};

// The command string for status, or "" when the value has none.
const char* command_for(unsigned status)
{
    for (const status_command& row : STATUS_COMMANDS)
        if (row.status == status)
            return row.command;
    return "";
}

// The two bytes of the payload as one value. A payload beginning "00" is read
// as a 16-bit character, whose second byte lies past the line and is 0.
unsigned decode_status(const char* line)
{
    char bytes[STATUS_DIGITS] = {};
    decodehex(line, STATUS_DIGITS, bytes, sizeof bytes);
    unsigned high = static_cast<unsigned char>(bytes[0]);
    unsigned low = static_cast<unsigned char>(bytes[1]);
    return high * 256 + low;
}

// Tells the reflector which gateway the asking radio is heard on, then
// answers the radio with the network name, our call sign and comment.
// Runs on the serial thread, so every wait of the transfer lasts its second;
// while another transfer holds the serial line, the reply waits its turn.
void roaming_reply(const char* sender)
{
    char Message[ROAMING_TEXT_SIZE];
    format_roaming_notice(Message, sizeof Message, GATEWAY_CALL, sender);
    log_raw("ROAMING->%s\n", Message);
    send_to_reflector(Message);
    snprintf(Message, sizeof Message, "%s\r%s\r%s", TETRAMASTER, GATEWAY_CALL, GATEWAY_COMMENT);
    serial_queue_pc(sender, Message);
}

} // namespace

void handle_status(const char* line, const char* sender)
{
    unsigned status = decode_status(line);
    log_ts("status %i\n", static_cast<int>(status));

    char dtmftext[DTMF_TEXT_SIZE];
    copy_field(dtmftext, command_for(status));

    if (status == STATUS_ROAMING)
        roaming_reply(sender);
    if (status == STATUS_WEATHER) {
        handle_weather(sender);
        return;
    }

    log_ts("got status -> %i %s\n", static_cast<int>(status), dtmftext);
    if (dtmftext[0] != '\0')
        send_svx_command("SENDSTATUS", dtmftext, COMMAND_WAIT_S, serial_pause_s);
}

// Radio line dispatcher: a pure classification of each line, and the acting
// on it in a fixed order (the SDS header and voice activity split the line in
// place). Each handler gets the line, and from the SDS header before it the
// sender's ISSI and the announced length.
#include "events/dispatch.h"

#include <cstdlib>
#include <cstring>

#include "config/config.h"
#include "events/handlers.h"
#include "events/session.h"
#include "formats/text_pdu.h"
#include "global.h"
#include "radio/serial.h"
#include "util/console.h"
#include "util/text.h"

namespace {

// Four hex digits and the CR: the length by which a status payload is known.
constexpr size_t STATUS_LINE_LENGTH = 5;
// "+CTSDSR: <AI service>,<calling>,<type>,<called>,<type>,<length>": a header
// needs more fields than this to carry the length.
constexpr int HEADER_MIN_FIELDS = 6;
constexpr int HEADER_CALLING_FIELD = 1;
constexpr int HEADER_LENGTH_FIELD = 5;

// A line beginning with prefix calls for action.
struct line_test {
    const char* prefix;
    unsigned action;
};

// Tests of every line.
constexpr line_test LINE_TESTS[] = {
    {"OK", ACT_OK},
    {"ERROR", ACT_ERROR},
    {"+CME ERROR", ACT_ERROR},
    {"+CTICN:", ACT_BLANK_BEFORE},
    {"+CTCR:", ACT_BLANK_AFTER},
    {"+CMGS: 0,5,", ACT_CONFIRMATION},
    {"+CMGS: 0,4,", ACT_CONFIRMATION},
    {"+CTSDSR:", ACT_SDS_HEADER},
};

// Payload kinds of the line after an SDS header.
constexpr line_test PAYLOAD_TESTS[] = {
    {"038013", ACT_POSITION},
    {TEXT_PDU_PERSONAL, ACT_PERSONAL_TEXT},
    {TEXT_PDU_PERSONAL_CONSUMED, ACT_PERSONAL_TEXT},
    {TEXT_PDU_GROUP, ACT_GROUP_TEXT},
};

template <size_t N> unsigned matching(const line_test (&tests)[N], const char* line)
{
    unsigned actions = 0;
    for (const line_test& test : tests)
        if (starts_with(line, test.prefix))
            actions |= test.action;
    return actions;
}

unsigned classify_payload(const char* line)
{
    // A five-character payload is a status; its digits may look like a text
    // header ("8204\r") but it carries no text.
    if (strlen(line) == STATUS_LINE_LENGTH)
        return ACT_STATUS;
    unsigned actions = matching(PAYLOAD_TESTS, line);
    // Protocol identifier 0x0A: a LIP location report, the position format of
    // most radios. Only a payload no other test wants is read as one.
    if (actions == 0 && starts_with(line, "0A"))
        actions |= ACT_LIP;
    return actions;
}

// The chain of voice activity tests: at most one alternative applies.
unsigned classify_voice(const char* line, int ptt)
{
    if (starts_with(line, "+GIU: 0,00001000"))
        return 0;
    if (starts_with(line, "+CTXG: 001,3") || starts_with(line, "+CTXG: 1,3") || starts_with(line, "+GIU: 0,"))
        return ACT_PTT_ON;
    bool off = starts_with(line, "+CDTXC:") || starts_with(line, "+CTCR: 1,1") || starts_with(line, "+GIU: 0") ||
               starts_with(line, "+GCE");
    return off && ptt == 1 ? ACT_PTT_OFF : 0;
}

// The header names the sender and the payload length; the next line is the
// payload. Both are kept for it in CALL_ID and sdslength.
void take_sds_header(char* line)
{
    struct split sp = split(line, ',');
    if (sp.count >= HEADER_MIN_FIELDS) {
        copy_field(CALL, "NO USER");
        copy_field(CALL_ID, sp.pointers[HEADER_CALLING_FIELD]);
        sdslength = atoi(sp.pointers[HEADER_LENGTH_FIELD]);
    }
    if (SYS_DEBUG)
        log_ts("SDS:%s\n", line);
    sds_received_count++;
    sds = 1;
}

void hand_over_payload(const char* line, unsigned actions)
{
    sds = 0;
    if (SYS_DEBUG)
        log_ts("SDS LINE 2 LNG:%i\n", static_cast<int>(strlen(line)));
    if (actions & ACT_STATUS)
        handle_status(line, CALL_ID);
    if (actions & ACT_POSITION)
        handle_position(line, CALL_ID);
    if (actions & ACT_LIP)
        handle_lip_position(line, sdslength, CALL_ID);
    if (actions & ACT_PERSONAL_TEXT)
        handle_personal_text(line, sdslength, CALL_ID);
    if (actions & ACT_GROUP_TEXT)
        handle_group_text(line, CALL_ID);
}

} // namespace

bool restarts_session(const char* line)
{
    if (starts_with(line, "+CTGS:") && !starts_with(line, "+CTGS: 1,1") && !starts_with(line, "+CTGS: 1,0"))
        return true;
    return starts_with(line, "+MCCFG: 0");
}

unsigned classify_line(const char* line, int sds_pending, int ptt_on)
{
    unsigned actions = matching(LINE_TESTS, line);
    if (sds_pending == 1)
        actions |= ACT_PAYLOAD | classify_payload(line);
    if (restarts_session(line))
        actions |= ACT_RESTART;
    return actions | classify_voice(line, ptt_on);
}

void dispatch_line(char* line)
{
    unsigned actions = classify_line(line, sds, ptt);
    if (actions & ACT_OK)
        got_ser_ok = true;
    if (actions & ACT_ERROR)
        got_ser_error = true;
    if (actions & ACT_BLANK_BEFORE)
        log_raw("\n");
    log_ts("data (%02i/%i): %s\n", static_cast<int>(strlen(line)), sds, line);
    if (actions & ACT_BLANK_AFTER)
        log_raw("\n");
    if (actions & ACT_PAYLOAD)
        hand_over_payload(line, actions);
    if (actions & ACT_CONFIRMATION)
        handle_confirmation();
    if (actions & ACT_SDS_HEADER)
        take_sds_header(line);
    if (actions & ACT_RESTART)
        run = 0;
    if (actions & ACT_PTT_ON)
        handle_ptt_on(line);
    if (actions & ACT_PTT_OFF)
        handle_ptt_off();
}

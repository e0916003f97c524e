// Voice activity: tells the voice gateway when a transmission starts and ends
// (through the PTT file) and reports each caller heard to the reflector.
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "control/voice_gateway.h"
#include "events/handlers.h"
#include "events/session.h"
#include "net/datagrams.h"
#include "net/reports.h"
#include "util/text.h"

namespace {

// "+CTXG:" carries the transmitting party identity in its sixth field;
// "+GIU:" in its second.
constexpr int CTXG_IDENTITY_FIELD = 5;
constexpr int GIU_IDENTITY_FIELD = 1;
// Digits of an ISSI kept from the end of the identity (which may carry the
// country and network codes in front).
constexpr size_t ISSI_DIGITS = 7;

// The up to seven characters before the field's last character: the CR
// when the identity ends the line, else the field's own last character.
// A short field gives what it holds, never reading before its start.
void copy_issi(const char* field)
{
    size_t end = strlen(field);
    if (end > 0)
        end--;
    size_t start = end > ISSI_DIGITS ? end - ISSI_DIGITS : 0;
    snprintf(CALL_ID, sizeof CALL_ID, "%.*s", static_cast<int>(end - start), field + start);
}

} // namespace

void handle_ptt_on(char* line)
{
    send_svx_ptt("PTT ON:", "O");
    ptt = 1;
    struct split sp = split(line, ',');
    // Only a line with a sixth field carries the identity there; shorter
    // lines (a "+CTXG:" without it included) fall back on the second field,
    // and a line without any comma on its only one.
    int field = sp.count > CTXG_IDENTITY_FIELD  ? CTXG_IDENTITY_FIELD
                : sp.count > GIU_IDENTITY_FIELD ? GIU_IDENTITY_FIELD
                                                : 0;
    copy_field(CALL, "NO USER");
    copy_issi(sp.pointers[field]);

    send_report("LASTHEARD:", "", [](char* buf, size_t size, const char* time) {
        format_voice_report(buf, size, GATEWAY_CALL, GATEWAY_COMMENT, time, CALL, CALL_ID);
    });
}

void handle_ptt_off()
{
    if (ptt != 1)
        return;
    send_svx_ptt("PTT OFF:", "Z");
    ptt = 0;
}

// Keepalive and position beacon towards the reflector.
#include "process/beacon.h"

#include "config/config.h"
#include "global.h"
#include "net/datagrams.h"
#include "net/reports.h"
#include "process/service.h"
#include "process/signals.h"

namespace {

void send_position_beacon()
{
    send_report("", "", [](char* buf, size_t size, const char* time) {
        format_position_beacon(buf, size, GATEWAY_CALL, GATEWAY_COMMENT, time, GATEWAY_CALL, GATEWAY_ID, GATEWAY_LON,
                               GATEWAY_LAT);
    });
}

void send_keepalive()
{
    char MESSAGE[MESSAGE_SIZE];
    format_keepalive(MESSAGE, sizeof MESSAGE, GATEWAY_CALL);
    send_to_reflector(MESSAGE);
}

} // namespace

void beacon_loop()
{
    int sek60 = 0;     // seconds within the minute
    int minute60 = 59; // minutes within the hour: the first beacon goes out after one minute
    int sek6 = 1;      // seconds within the keepalive period
    for (;;) {
        if (++sek60 > 59) {
            sek60 = 0;
            if (++minute60 == 60) {
                minute60 = 0;
                send_position_beacon();
            }
        }
        sleep_s(1);
        report_caught_signals();
        if (!keep_running)
            break;
        if (++sek6 == 6) {
            send_keepalive();
            sek6 = 0;
        }
        service_tick();
    }
}

// Queue of the serial thread's transfers that found the write lock busy.
#include "events/deferred.h"

#include "events/session.h"
#include "radio/sds.h"
#include "util/text.h"

namespace {

struct deferred_transfer {
    bool ack;                    // an acknowledgement, else a personal text
    char issi[ID_SIZE];          // destination
    char text[SDS_MAX_TEXT + 1]; // the text, or the ack's two reference characters
};

deferred_transfer waiting[DEFERRED_MAX];
int first = 0;
int count = 0;

bool try_send(const deferred_transfer& t)
{
    return t.ack ? try_send_sds_ack(t.issi, t.text) : try_send_sds_pc(t.issi, t.text);
}

void send_waiting_for_lock(const deferred_transfer& t)
{
    if (t.ack)
        send_sds_ack(t.issi, t.text);
    else
        send_sds_pc(t.issi, t.text);
}

void defer(bool ack, const char* issi, const char* text)
{
    if (count == DEFERRED_MAX) {
        send_waiting_for_lock(waiting[first]);
        first = (first + 1) % DEFERRED_MAX;
        count--;
    }
    deferred_transfer& t = waiting[(first + count) % DEFERRED_MAX];
    t.ack = ack;
    copy_field(t.issi, issi);
    copy_field(t.text, text);
    count++;
    serial_send_deferred();
}

} // namespace

bool serial_send_deferred()
{
    while (count > 0 && try_send(waiting[first])) {
        first = (first + 1) % DEFERRED_MAX;
        count--;
    }
    return count == 0;
}

void serial_send_ack(const char* issi, const char* lfd)
{
    defer(true, issi, lfd);
}

void serial_send_pc(const char* issi, const char* text)
{
    defer(false, issi, text);
}

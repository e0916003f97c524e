// Local SDS request port and push slot.
#include "net/sms_sender.h"

#include <cstdio>

#include "events/session.h"
#include "net/datagrams.h"

std::atomic<int> sms_sender_controlsock{-1};

void* sms_sender(void*)
{
    return nullptr;
}

int push_slot_step()
{
    if (PushMessage[0] == '\0')
        return 0;
    char PushMessageSend[2024];
    format_local_sds_request(PushMessageSend, sizeof PushMessageSend, CALL_ID, PushMessage);
    PushMessage[0] = '\0';
    send_to_local_port(PushMessageSend);
    return 1;
}

// Local SDS request port: other programs of the station send SDS through the radio.
#include "net/sms_sender.h"

#include <netinet/in.h>

#include "config/places.h"
#include "net/reflector_messages.h"
#include "net/udp.h"
#include "radio/turns.h"

std::atomic<int> sms_sender_controlsock{-1};

int sms_sender_step(int sock)
{
    static char sms_sender_buffer[SMS_SENDER_BUFFER_SIZE + 1];
    struct sockaddr_in sms_sender_srv;
    long got = udp_receive(sock, sms_sender_buffer, SMS_SENDER_BUFFER_SIZE, &sms_sender_srv);
    if (got < 0)
        return 0; // no datagram (interrupted receive): no transfer to seven blanks
    struct local_request request;
    local_request_parse(sms_sender_buffer, static_cast<size_t>(got), &request);
    // An empty request names no radio: its field is seven blanks.
    if (!issi_accepted(request.call_id_nr, true))
        return 0;
    send_sds_pc(request.call_id_nr, request.call_message);
    return 1;
}

namespace {

// Built when used: tests may have pointed the address elsewhere.
udp_thread local_thread()
{
    return {SMS_SENDER_IP, SMS_SENDER_PORT, &sms_sender_controlsock, "sms_sender", "sms_sender", sms_sender_step};
}

} // namespace

int sms_sender_open()
{
    // A port in use is logged; the thread then receives nothing.
    return udp_thread_open(local_thread());
}

void* sms_sender(void*)
{
    udp_thread_run(local_thread(), "tsms_sender", longest_sequence_s() + STEP_SLACK_S);
    return nullptr;
}

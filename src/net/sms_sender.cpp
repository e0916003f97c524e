// Local SDS request port and push slot.
#include "net/sms_sender.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/places.h"
#include "events/session.h"
#include "global.h"
#include "net/datagrams.h"
#include "net/reflector_messages.h"
#include "net/udp.h"
#include "process/console.h"
#include "radio/sds.h"

std::atomic<int> sms_sender_controlsock{-1};

namespace {

// Creates and binds the request socket; 1 when a socket exists afterwards.
int sms_sender_open()
{
    // The same start line as the reflector thread: log readers count on it.
    log_ts("reflector_listener Start\n");
    // A port in use is logged; the thread then receives nothing on it.
    int sock = udp_socket_bound(SMS_SENDER_IP, SMS_SENDER_PORT);
    sms_sender_controlsock = sock;
    if (sock < 0) {
        log_ts("Failed to create server sms_sender, errno=%d\n", errno);
        log_ts("sms_sender() failed\n");
        return 0;
    }
    return 1;
}

} // namespace

int sms_sender_step(int sock)
{
    static char sms_sender_buffer[SMS_SENDER_BUFFER_SIZE + 1];
    struct sockaddr_in sms_sender_srv;
    socklen_t srv_len = sizeof sms_sender_srv;
    ssize_t got = recvfrom(sock, sms_sender_buffer, SMS_SENDER_BUFFER_SIZE, 0,
                           reinterpret_cast<struct sockaddr*>(&sms_sender_srv), &srv_len);
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

void* sms_sender(void*)
{
    if (!sms_sender_open())
        return nullptr;
    while (keep_running)
        sms_sender_step(sms_sender_controlsock);
    return nullptr;
}

int push_slot_step()
{
    if (PushMessage[0] == '\0')
        return 0;
    // The request's ISSI field is seven characters wide: an eight-digit caller
    // would lend its last digit to the text and the reply would reach another radio.
    if (strlen(CALL_ID) > static_cast<size_t>(LOCAL_ISSI_WIDTH)) {
        log_ts("Reply to %s not sent: a local request carries at most 7 ISSI digits\n", CALL_ID);
        PushMessage[0] = '\0';
        return 1;
    }
    char PushMessageSend[2024];
    format_local_sds_request(PushMessageSend, sizeof PushMessageSend, CALL_ID, PushMessage);
    PushMessage[0] = '\0';
    send_to_local_port(PushMessageSend);
    return 1;
}

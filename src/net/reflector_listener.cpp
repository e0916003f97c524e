// Reflector listener thread: owns the UDP socket on port 5230.
#include "net/reflector_listener.h"

#include <netinet/in.h>

#include "config/config.h"
#include "net/reflector_messages.h"
#include "net/udp.h"
#include "util/console.h"
#include "radio/sds.h"

int reflector_listener_step(int sock)
{
    static char reflector_listener_buffer[REFLECTOR_BUFFER_SIZE + 1];
    struct sockaddr_in reflector_listener_srv;
    // Every sender is served alike: pages and local tools reach this port too.
    long got = udp_receive(sock, reflector_listener_buffer, REFLECTOR_BUFFER_SIZE, &reflector_listener_srv);
    size_t len = got > 0 ? static_cast<size_t>(got) : 0; // a failed receive is an empty text
    reflector_listener_buffer[len] = '\0';
    if (!reflector_text_is_command(reflector_listener_buffer))
        return 0;
    log_ts("%s\n", reflector_listener_buffer);
    struct reflector_request request;
    if (!reflector_message_parse(reflector_listener_buffer, len, &request))
        return 0;
    if (request.kind == REFLECTOR_SDS_GROUP)
        send_sds_gc(request.sbuff);
    else
        send_sds_pc(request.issi, request.sbuff);
    return 1;
}

void* reflector_listener(void*)
{
    // A bind failure (port in use) leaves the socket usable for sending.
    udp_thread_run({SOCK_UDP_IP, SOCK_UDP_PORT, &reflector_listener_controlsock, "socket2", "reflector_listener",
                    reflector_listener_step});
    return nullptr;
}

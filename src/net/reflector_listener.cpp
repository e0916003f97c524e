// Reflector listener thread: owns the UDP socket on port 5230.
#include "net/reflector_listener.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "config/config.h"
#include "global.h"
#include "net/reflector_messages.h"
#include "net/udp.h"
#include "process/console.h"
#include "radio/sds.h"

std::atomic<int> reflector_listener_controlsock{-1};

int reflector_socket_open()
{
    log_ts("reflector_listener Start\n");
    // A port in use is logged; the socket still sends.
    int sock = udp_socket_bound(SOCK_UDP_IP, SOCK_UDP_PORT);
    reflector_listener_controlsock = sock;
    if (sock < 0) {
        log_ts("Failed to create server socket2, errno=%d\n", errno);
        log_ts("reflector_listener() failed\n");
        return 0;
    }
    return 1;
}

int reflector_listener_step(int sock)
{
    static char reflector_listener_buffer[REFLECTOR_BUFFER_SIZE + 1];
    struct sockaddr_in reflector_listener_srv;
    socklen_t srv_len = sizeof reflector_listener_srv;
    // Every sender is served alike: pages and local tools reach this port too.
    ssize_t got = recvfrom(sock, reflector_listener_buffer, REFLECTOR_BUFFER_SIZE, 0,
                           reinterpret_cast<struct sockaddr*>(&reflector_listener_srv), &srv_len);
    size_t len = got > 0 ? static_cast<size_t>(got) : 0; // a failed receive is an empty text
    reflector_listener_buffer[len] = '\0';
    if (!reflector_text_is_command(reflector_listener_buffer))
        return 0;
    log_ts("%s\n", reflector_listener_buffer);
    struct reflector_request request;
    if (!reflector_message_parse(reflector_listener_buffer, len, &request))
        return 0;
    if (request.kind == REFLECTOR_SDS_GROUP) {
        send_sds_gc(request.sbuff);
        return 1;
    }
    if (!issi_accepted(request.issi, false))
        return 0;
    send_sds_pc(request.issi, request.sbuff);
    return 1;
}

void* reflector_listener(void*)
{
    if (!reflector_socket_open())
        return nullptr;
    while (keep_running)
        reflector_listener_step(reflector_listener_controlsock);
    return nullptr;
}

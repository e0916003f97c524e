// Reflector listener thread: owns the UDP socket on port 5230.
#include "net/reflector_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

#include "config/config.h"
#include "config/reflector_address.h"
#include "global.h"
#include "net/reflector_messages.h"
#include "net/udp.h"
#include "radio/turns.h"
#include "util/console.h"

namespace {

// Drops from strangers are summed up, one line per 10 s at most: a flood
// must not flood the journal too.
constexpr long long DROP_REPORT_INTERVAL_S = 10;
long long drop_reported_at = 0; // monotonic seconds; 0: no drop reported yet
unsigned dropped_since_report = 0;

// Whether a datagram from sender is to be read. Notes the reflector's own for
// the status line; with REFLECTOR_ONLY, counts and reports every other sender.
bool from_reflector(const struct sockaddr_in* sender)
{
    // While the address is not known, nobody is the reflector.
    in_addr_t reflector = REFLECTOR_IP.load();
    if (reflector != 0 && sender->sin_family == AF_INET && sender->sin_addr.s_addr == reflector) {
        // 0 stands for "none yet": the clock's first second counts as its second.
        reflector_heard_at = std::max(clock_monotonic_s(), 1LL);
        return true;
    }
    if (!reflector_only_on())
        return true;
    dropped_since_report++;
    long long now = clock_monotonic_s();
    if (drop_reported_at == 0 || now - drop_reported_at >= DROP_REPORT_INTERVAL_S) {
        char address[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &sender->sin_addr, address, sizeof address);
        log_refusal("REFLECTOR_ONLY: dropped %u datagram(s) not from the reflector, the last from %s:%u\n",
                    dropped_since_report, address, static_cast<unsigned>(ntohs(sender->sin_port)));
        drop_reported_at = now;
        dropped_since_report = 0;
    }
    return false;
}

} // namespace

int reflector_listener_step(int sock)
{
    static char reflector_listener_buffer[REFLECTOR_BUFFER_SIZE + 1];
    struct sockaddr_in reflector_listener_srv = {};
    // Pages and local tools reach this port too; REFLECTOR_ONLY shuts them out.
    long got = udp_receive(sock, reflector_listener_buffer, REFLECTOR_BUFFER_SIZE, &reflector_listener_srv);
    if (got >= 0 && !from_reflector(&reflector_listener_srv))
        return 0; // dropped before it is read: a stranger may not key the transmitter
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

namespace {

// Built when used: tests may have pointed the address elsewhere.
udp_thread reflector_thread()
{
    return {SOCK_UDP_IP, SOCK_UDP_PORT,        &reflector_listener_controlsock,
            "socket2",   "reflector_listener", reflector_listener_step};
}

} // namespace

int reflector_listener_open()
{
    // A port in use is logged; the socket still sends.
    return udp_thread_open(reflector_thread());
}

void* reflector_listener(void*)
{
    udp_thread_run(reflector_thread(), "treflector_listener", longest_sequence_s() + STEP_SLACK_S);
    return nullptr;
}

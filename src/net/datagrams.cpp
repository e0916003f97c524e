// Datagram layouts and the fire-and-forget send helpers.
#include "net/datagrams.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "config/places.h"
#include "config/reflector_address.h"
#include "net/udp.h"
#include "util/text.h"

namespace {

void send_text(const char* text, in_addr_t address, int port)
{
    struct sockaddr_in to;
    ipv4_address(&to, address, port);
    int sock = reflector_listener_controlsock.load();
    if (sock < 0)
        return; // the reflector thread has not created its socket (yet)
    sendto(sock, text, strlen(text), 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to);
}

} // namespace

int format_keepalive(char* buf, size_t size, const char* call)
{
    return stored(snprintf(buf, size, ">>%s", call), size);
}

int format_position_beacon(char* buf, size_t size, const char* call, const char* comment, const char* time,
                           const char* call2, const char* id, const char* lon, const char* lat)
{
    return stored(
        snprintf(buf, size, "%s,%s,%s,%s,POS,#232,%s,,E;%s;N;%s;000;,\n", call, comment, time, call2, id, lon, lat),
        size);
}

int format_gps_report(char* buf, size_t size, const char* call, const char* comment, const char* time,
                      const char* caller, const char* issi, const char* lon, const char* lat, const char* course)
{
    return format_gps_report_hemisphere(buf, size, call, comment, time, caller, issi, 'E', lon, 'N', lat, course);
}

int format_gps_report_hemisphere(char* buf, size_t size, const char* call, const char* comment, const char* time,
                                 const char* caller, const char* issi, char east_west, const char* lon,
                                 char north_south, const char* lat, const char* course)
{
    return stored(snprintf(buf, size, "%s,%s,%s,%s,GPS,#232,%s,,%c;%8.8s;%c;%7.7s;%s;,\n", call, comment, time, caller,
                           issi, east_west, lon, north_south, lat, course),
                  size);
}

int format_voice_report(char* buf, size_t size, const char* call, const char* comment, const char* time,
                        const char* caller, const char* issi)
{
    return stored(snprintf(buf, size, "%s,%s,%s,%s,VOICE,#232,%s,,,\n", call, comment, time, caller, issi), size);
}

int format_group_text_report(char* buf, size_t size, const char* call, const char* comment, const char* time,
                             const char* caller, const char* issi, const char* text)
{
    return stored(snprintf(buf, size, "%s,%s,%s,%s,GC,#0,%s,,%s,\n", call, comment, time, caller, issi, text), size);
}

int format_gateway_command(char* buf, size_t size, const char* call, const char* issi, const char* text)
{
    return stored(snprintf(buf, size, "::%s;%s;%s;\n", call, issi, text), size);
}

int format_gateway_reply(char* buf, size_t size, const char* call, const char* issi, const char* text)
{
    return stored(snprintf(buf, size, "::%s;%s;PC:%s;\n", call, issi, text), size);
}

int format_roaming_notice(char* buf, size_t size, const char* call, const char* issi)
{
    return stored(snprintf(buf, size, "::%s;%s;RO\n", call, issi), size);
}

int format_local_sds_request(char* buf, size_t size, const char* issi, const char* text)
{
    // A five-digit ISSI unpadded would take the reply's first letters into its field.
    return stored(snprintf(buf, size, "%-7s%s", issi, text), size);
}

void send_to_reflector(const char* text)
{
    // Read once: the lookup thread may change it meanwhile.
    in_addr_t address = REFLECTOR_IP.load();
    if (address == 0)
        return; // not known yet: lost, as when the reflector cannot be reached
    send_text(text, address, REFLECTOR_PORT);
}

void send_to_local_port(const char* text)
{
    send_text(text, inet_addr(SMS_SENDER_IP), SMS_SENDER_PORT);
}

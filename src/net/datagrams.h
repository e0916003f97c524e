// Every UDP datagram layout the gateway sends, and the two send helpers.
// Each format_ function writes into a buffer its caller owns (so a beacon can
// never change a report between formatting and sending) and returns the text
// length, cut to fit size. Datagrams go out without their NUL.
#pragma once
#include <cstddef>

// Size of a report buffer (the shared MESSAGE of the design).
constexpr size_t MESSAGE_SIZE = 2000;

// ">>CALL": keepalive, no newline.
int format_keepalive(char* buf, size_t size, const char* call);

// "CALL,COMMENT,TIME,CALL,POS,#232,ID,,E;LON;N;LAT;000;,\n": hourly position beacon.
int format_position_beacon(char* buf, size_t size, const char* call, const char* comment, const char* time,
                           const char* call2, const char* id, const char* lon, const char* lat);

// "CALL,COMMENT,TIME,CALLER,GPS,#232,ISSI,,E;%8.8s;N;%7.7s;COURSE;,\n": a radio's position.
int format_gps_report(char* buf, size_t size, const char* call, const char* comment, const char* time,
                      const char* caller, const char* issi, const char* lon, const char* lat, const char* course);

// The same with the hemisphere letters given: east_west 'E' or 'W' before the
// longitude, north_south 'N' or 'S' before the latitude (both texts unsigned).
int format_gps_report_hemisphere(char* buf, size_t size, const char* call, const char* comment, const char* time,
                                 const char* caller, const char* issi, char east_west, const char* lon,
                                 char north_south, const char* lat, const char* course);

// "CALL,COMMENT,TIME,CALLER,VOICE,#232,ISSI,,,\n": station last heard.
int format_voice_report(char* buf, size_t size, const char* call, const char* comment, const char* time,
                        const char* caller, const char* issi);

// "CALL,COMMENT,TIME,CALLER,GC,#0,ISSI,,TEXT,\n": a radio's "GC:" text.
int format_group_text_report(char* buf, size_t size, const char* call, const char* comment, const char* time,
                             const char* caller, const char* issi, const char* text);

// "::CALL;ISSI;TEXT;\n": a radio's "PC:", "DN:" or "RG:" text.
int format_gateway_command(char* buf, size_t size, const char* call, const char* issi, const char* text);

// "::CALL;ISSI;PC:TEXT;\n": a radio's reply to a reflector text message.
int format_gateway_reply(char* buf, size_t size, const char* call, const char* issi, const char* text);

// "::CALL;ISSI;RO\n": roaming notice.
int format_roaming_notice(char* buf, size_t size, const char* call, const char* issi);

// "ISSITEXT": local SDS request, the ISSI blank-padded to its seven-character
// field, directly followed by the text.
int format_local_sds_request(char* buf, size_t size, const char* issi, const char* text);

// Sends text to REFLECTOR_IP:REFLECTOR_PORT from the reflector socket; the
// destination is built afresh for every send, so a new address is used at
// once. Fire and forget: nothing goes out while the address is not known.
void send_to_reflector(const char* text);

// Sends text to the local SDS request port from the reflector socket.
void send_to_local_port(const char* text);

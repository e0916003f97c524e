// What a datagram received on the reflector port or on the local SDS request
// port asks the gateway to send: decisions only, no sockets and no radio.
#pragma once
#include <cstddef>

// Longest datagram read from the reflector; longer ones are cut by the socket.
constexpr int REFLECTOR_BUFFER_SIZE = 524;
// Longest local SDS request read; longer ones are cut by the socket.
constexpr int SMS_SENDER_BUFFER_SIZE = 1024;
// The composed SDS text: 499 characters and the NUL.
constexpr int SBUFF_SIZE = 500;
// Room for the reply header.
constexpr int REPLY_HEADER_SIZE = 50;
// Width of the ISSI field that opens a local SDS request.
constexpr int LOCAL_ISSI_WIDTH = 7;
// call_id_nr: the seven-character ISSI field and room to spare.
constexpr int CALL_ID_NR_SIZE = 20;
// call_message: the text of a local SDS request.
constexpr int CALL_MESSAGE_SIZE = 1024;

// What one reflector datagram yields: nothing, a group SDS or a personal SDS.
enum reflector_sds_kind { REFLECTOR_SDS_NONE = 0, REFLECTOR_SDS_GROUP = 1, REFLECTOR_SDS_PERSONAL = 2 };

struct reflector_request {
    int kind;                             // a reflector_sds_kind
    char issi[REFLECTOR_BUFFER_SIZE + 1]; // destination of a personal SDS, as received
    char sbuff[SBUFF_SIZE];               // the SDS text, cut to 499 characters
};

struct local_request {
    char call_id_nr[CALL_ID_NR_SIZE];     // first seven characters, blank-padded to seven
    char call_message[CALL_MESSAGE_SIZE]; // the rest of the request, "" when none
};

// The header in front of every reflector text the gateway sends to a radio:
// TETRAMASTER followed by ":PC:". A radio text that begins with it is a reply
// to the reflector. Returns its length (0 when it does not fit).
size_t format_reply_header(char* buf, size_t size);

// True when text opens with "::", the only datagrams the gateway acts on.
bool reflector_text_is_command(const char* text);

// Decides what the len received bytes ask for (at most 524 are read; the text
// also ends at an embedded NUL). "::DAPNET;FROM;GC:TEXT" gives a group SDS,
// "::DAPNET;FROM;PC:ISSI:TEXT" and "::NET;FROM;ANY:ISSI:TEXT" a personal one;
// one leading blank of TEXT is dropped. Returns 1 and fills out when an SDS
// is due, 0 (kind REFLECTOR_SDS_NONE) when the datagram asks for nothing.
int reflector_message_parse(const char* bytes, size_t len, struct reflector_request* out);

// Divides the len received bytes of a local SDS request (at most 1024 read;
// the text ends at an embedded NUL) into the ISSI field ("%-7.7s") and the
// text from the eighth character on. Every request yields both fields.
void local_request_parse(const char* bytes, size_t len, struct local_request* out);

// The ISSI of a personal SDS goes verbatim into "AT+CMGS=", so only an
// identity may pass: 1 to 8 decimal digits (a TETRA ISSI has 24 bits), and
// with padded the blanks that fill the local request's seven-character field.
// A comma would choose the bit count, a CR would end the command early.
bool issi_is_identity(const char* issi, bool padded);

// issi_is_identity, with one console line naming a refused ISSI (control
// bytes shown as '?'). Returns 1 when the ISSI may reach the radio.
int issi_accepted(const char* issi, bool padded);

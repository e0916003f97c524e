// The radio session state: written only by the serial thread, reset at every
// initialisation of the radio.
#pragma once
#include "util/issi.h"

constexpr int DATA_SIZE = 1024;     // one radio line: 1023 bytes (CR included) + NUL
constexpr int SENDTEXT_SIZE = 1000; // one decoded SDS payload + NUL
constexpr int CALL_SIZE = 20;       // CALL: 19 characters + NUL

extern int run; // 1 while the session is up; 0 asks for a new initialisation
extern int sds; // 1 when the next non-empty line is an SDS payload
extern int ptt; // 1 while a voice transmission is in progress
extern int msg; // kind of message held for the radio's send confirmation (MSG_*)

// What msg says is held until the radio confirms a sent SDS.
constexpr int MSG_NONE = 0; // nothing
constexpr int MSG_PC = 1;   // a reflector datagram, logged "PC->"
constexpr int MSG_SVX = 2;  // a text for the voice gateway
constexpr int MSG_DN = 3;   // a reflector datagram, logged "DN->"
constexpr int MSG_RG = 4;   // a reflector datagram, logged "RG->"

extern char CALL[CALL_SIZE];          // call sign field of the last caller
extern char CALL_ID[ISSI_FIELD_SIZE]; // ISSI of the last SDS sender or caller
extern int sdslength;                 // SDS length in bits from the last "+CTSDSR:" header
extern long long lastgps;             // last GPS report sent, seconds on the monotonic clock

// The current line from the radio: LF bytes dropped, ending in its CR, zero-filled.
extern char data[DATA_SIZE];

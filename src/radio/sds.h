// SDS transfers over the PEI: personal and group texts and the acknowledgement
// of a received text. Each is one command sequence, pauses included; the
// caller has the serial line to itself for all of it (radio/turns.h, where
// send_sds_pc, send_sds_gc and send_sds_ack take their turn and call these).
#pragma once

// Message reference of the next personal or group text: 16, 17 ... 255, 0 ...
// Read and advanced only by a sequence that has the serial line.
extern unsigned sds_lfd;

// Longest text a transfer carries (the hex text buffer holds 998 digits);
// longer texts are cut to this many bytes.
constexpr int SDS_MAX_TEXT = 499;

// Personal text SDS ("8204" PDU) to sourceid, written verbatim into AT+CMGS.
void sds_personal_sequence(const char* sourceid, const char* message);
// Group text SDS ("8200" PDU), always addressed to identity 1.
void sds_group_sequence(const char* message);
// SDS-REPORT "821000" + lfd (two characters as received) to issi.
void sds_ack_sequence(const char* issi, const char* lfd);

// Seconds the longest of the three sequences can take with the configured
// DMO_REPEATER and SYS_CTOM_WAIT, every wait for an answer at its full second.
int sds_longest_sequence_s();

// A transfer that finds the radio port closed sends nothing and logs one line
// naming its destination.

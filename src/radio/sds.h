// Sending SDS texts through the radio: personal, group and the acknowledgement
// of a received text. Each call is one unit on the serial line: it holds the
// serial write lock from its first command to its last pause.
#pragma once

// Message reference of the next personal or group text: 16, 17 ... 255, 0 ...
// Read and advanced only under the serial write lock.
extern unsigned sds_lfd;

// Longest text a transfer carries (the hex text buffer holds 998 digits);
// longer texts are cut to this many bytes.
constexpr int SDS_MAX_TEXT = 499;

// Personal text SDS ("8204" PDU) to sourceid, written verbatim into AT+CMGS.
void send_sds_pc(const char* sourceid, const char* message);
// Group text SDS ("8200" PDU), always addressed to identity 1.
void send_sds_gc(const char* message);
// SDS-REPORT "821000" + lfd (two characters as received) to issi.
void send_sds_ack(const char* issi, const char* lfd);

// The serial thread's variants. Only that thread reads the radio's OK, so it
// must never wait for the lock while another thread's transfer waits for one:
// these send only when the lock is free at once, and return false (nothing
// sent) when it is not.
bool try_send_sds_pc(const char* sourceid, const char* message);
bool try_send_sds_ack(const char* issi, const char* lfd);

// A transfer that finds the radio port closed sends nothing and logs one line
// naming its destination.

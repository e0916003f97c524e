// The two control files the voice gateway on this host reads.
#pragma once

// Logs "<logmessage> <message> <sleeptimer>" and an empty line, waits
// sleeptimer seconds with pause_s (none when 0 or less), then replaces the
// whole content of the DTMF control file with message (no newline). The
// caller's pause lets the serial thread's turns on the radio line go on.
void send_svx_command(const char* logmessage, const char* message, int sleeptimer, void (*pause_s)(int seconds));

// Logs "<logmessage> <message>" and replaces the PTT file with message ("O" or "Z").
void send_svx_ptt(const char* logmessage, const char* message);

// The two control files the voice gateway on this host reads.
#pragma once

// Logs "<logmessage> <message> <sleeptimer>" and an empty line, waits
// sleeptimer seconds (none when 0 or less), then replaces the whole content
// of the DTMF control file with message (no newline).
void send_svx_command(const char* logmessage, const char* message, int sleeptimer);

// Logs "<logmessage> <message>" and replaces the PTT file with message ("O" or "Z").
void send_svx_ptt(const char* logmessage, const char* message);

// The two control paths the voice gateway on this host reads: DTMF_CTRL_PATH
// and PTT_CTRL_PATH (a file, a FIFO, or a link to the voice gateway's
// pseudo-terminal; see control_path.h).
#pragma once

// Logs "<logmessage> <message> <sleeptimer>" and an empty line, waits
// sleeptimer seconds with pause_s (none when 0 or less), then writes message
// (no newline) to the DTMF control path, replacing the whole content of a
// file. The caller's pause lets the serial thread's turns on the radio line
// go on.
void send_svx_command(const char* logmessage, const char* message, int sleeptimer, void (*pause_s)(int seconds));

// Logs "<logmessage> <message>" and writes message ("O" or "Z") to the PTT
// control path.
void send_svx_ptt(const char* logmessage, const char* message);

// For --check-config: after a blank line, one line per control path on what
// it is now and whether the gateway could write it. Writes and creates
// nothing. Returns the number of paths that would be refused now.
int report_control_paths();

// The serial PEI link to the radio: port state, the OK/ERROR handshake flags
// and the two primitives of a command exchange.
#pragma once
#include <atomic>
#include <mutex>

extern char piport[51];           // device path, from SYS_SERPORT
extern int pibaudrate;            // line speed, from SYS_SERBAUD
extern std::atomic<int> serport;  // descriptor of the open port, negative when closed

// Raised by the serial thread for a line beginning "OK" / "ERROR" or "+CME ERROR";
// cleared by every write_ser and by the wait_ok that finds them.
extern std::atomic<bool> got_ser_ok;
extern std::atomic<bool> got_ser_error;

// Held around a whole command sequence (one initialisation or one SDS transfer,
// pauses included) so that two sequences never interleave on the line and one
// sequence's wait is never ended by the answer to another's command.
extern std::mutex serial_write_lock;

// Clears both flags, then writes cmd one byte per call up to and including its
// first CR or Ctrl-Z (or up to its NUL, if it has neither). A failed write ends
// the command. Returns the number of bytes written.
int write_ser(const char* cmd);

// Waits for the radio's answer: up to 20 polls of 50 ms, ending at the first
// poll that finds either flag (both are then cleared). Says nothing of the outcome.
void wait_ok();

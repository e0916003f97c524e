// The pseudo-terminal that stands in for the radio's serial PEI, shared by
// the radio simulator, the session player and the unit tests.
#pragma once
#include <termios.h>

#include <string>

// Opens a pseudo-terminal, master and slave, both closed on exec: a gateway
// that inherited the master would never see the cable pulled. The slave stays
// open with the caller so that the terminal outlives the gateway closing and
// reopening its end. Returns the master and stores the slave's path and
// descriptor; on failure returns -1 and stores in *why the failed call and
// its reason ("posix_openpt: No such device"). The terminal is left as the
// kernel made it: pty_make_raw sets it up where the caller needs that.
int pty_open(std::string* slave_path, int* slave_fd, std::string* why);

// Puts the terminal fd in raw mode, and at speed unless speed is B0 (the
// speed is then left as it is). Returns 1 on success, 0 when the terminal
// could not be read.
int pty_make_raw(int fd, speed_t speed);

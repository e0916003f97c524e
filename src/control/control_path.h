// The one rule for a path the voice gateway reads: what may be written there
// and how, so that no path, and no voice gateway that stops reading, can hold
// up the serial thread.
#pragma once
#include <sys/types.h>

#include <cstddef>

// How a control path is written, or that it is not.
enum class control_kind {
    file,     // a regular file at the path itself: truncated, then written
    terminal, // a pseudo-terminal slave (the voice gateway's): written, nothing set on it
    fifo,     // a FIFO at the path itself: written while a reader has it open
    refused   // anything else: left as it is
};

// What fstat (or stat) and fstatfs found at a control path.
struct control_found {
    mode_t mode;       // st_mode
    dev_t rdev;        // st_rdev, for a device
    bool on_devpts;    // it lives on devpts, the file system of pseudo-terminal slaves
    bool through_link; // the path itself is a symbolic link
    dev_t radio;       // st_rdev of the radio's serial device, 0 when it is none
    dev_t own;         // st_rdev of the terminal the gateway logs to, 0 when none
};

// Judges what was found, and puts the phrase that names it into what ("a link
// to a regular file"). A regular file or a FIFO at the path itself may be
// written; a pseudo-terminal slave, at the path or through a link, may be
// unless it is the radio's own device or the terminal the gateway was
// started from (radio texts would reach an operator's screen as escape
// sequences). Everything else is refused: a link to
// anything but a pseudo-terminal, any other terminal (a console, /dev/tty,
// /dev/ptmx, a serial port), a directory, a socket, a device.
control_kind judge_control(const control_found& found, char* what, size_t size);

// Writes message, without any terminator, to path by the rule: a missing path
// is created as a regular file (mode 0644), a regular file is truncated first.
// Nothing waits on the voice gateway, except a write that would block: it is
// given about 100 ms, then the message is dropped. Every refusal or failure
// logs one line; a reader that has stopped is told once, and once more when
// it reads again, by way of *stalled, which is this path's own note.
// Returns 1 when the whole message was written, 0 otherwise.
int write_control(const char* path, const char* message, bool* stalled);

// What path is now, as a check before a start tells it; nothing is written,
// created or changed.
enum class control_state { missing, file, terminal, fifo_read, fifo_unread, refused };
// Puts a line's text on it into text ("missing; the first write creates it").
control_state inspect_control(const char* path, char* text, size_t size);

// Whether standard output takes a console line now, without waiting, and
// writing it when it does. The gateway shares its standard output with other
// processes (the shell and its terminal, the journal's socket, a pipe's other
// writers), so it never sets O_NONBLOCK on it: that flag lives on the open file
// description and would make their writes fail too. Each kind is asked in a
// way that touches only this process instead.
#pragma once
#include <cstddef>

enum stdout_kind {
    // A terminal, or anything not named below: the writer thread alone writes
    // it. A terminal's room can vanish between a check and the write (Ctrl-S),
    // and no private question tells when.
    STDOUT_MAY_WAIT,
    // A pipe or FIFO: written at once while it has room for the line.
    STDOUT_PIPE,
    // A socket, the journal's among them: sent at once unless the send would wait.
    STDOUT_SOCKET,
    // A regular file or /dev/null: no reader can stall it and poll() calls it
    // always ready, so it is always written at once.
    STDOUT_NEVER_WAITS,
};

// What standard output is now.
stdout_kind stdout_kind_now();

// Writes as much of bytes as standard output of the given kind takes without
// waiting. Returns the count done with: written, or all of them when standard
// output failed for good (the writer thread gives such lines up too). The
// rest, if any, must go to the writer thread. STDOUT_MAY_WAIT takes nothing.
size_t stdout_write_now(stdout_kind kind, const char* bytes, size_t size);

// For a line once no other thread of ours writes standard output: waits up to
// wait_ms for it to take bytes at all (a free page of a pipe, room in a
// socket, a terminal that is not stopped), then writes the line with one call
// that does not wait (a pipe: up to PIPE_BUF). Returns the count written; 0
// when there was no room in time.
size_t stdout_write_within(stdout_kind kind, const char* bytes, size_t size, int wait_ms);

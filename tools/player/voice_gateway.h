// The player standing in for the voice gateway at a control path: a link to a
// pseudo-terminal it holds open and reads, as the voice gateway makes its
// DTMF and squelch inputs, or a FIFO it reads; and a reader that stops.
#pragma once
#include <string>
#include <vector>

// What the player serves at one control path.
struct served_path {
    std::string path; // as the session names it
    int fd = -1;      // the pty master, or the FIFO (held read and write, so it never ends)
    int slave = -1;   // the pty slave, held so the terminal outlives the gateway's close
    bool stalled = false;
    size_t filler = 0; // bytes the player put in itself to fill the buffer, dropped when read
};

// Makes place a symbolic link to a new pseudo-terminal in raw mode (the bytes
// arrive as written), held open for reading. True, or false with the reason.
bool serve_terminal(served_path* p, const std::string& place, std::string* why);

// Makes place a FIFO; with reader the player holds it open and reads it,
// without, nobody does. True, or false with the reason.
bool serve_fifo(served_path* p, const std::string& place, bool reader, std::string* why);

// The reader stops, as a hung voice gateway does: the buffer is first filled
// until it takes no more, so the gateway's next write would block. True when
// the buffer was filled.
bool stall_reader(served_path* p);

// Reads what waits (nothing while stalled) and returns the gateway's bytes,
// without the player's own filler.
std::string read_served(served_path* p);

// Closes what the player holds; the path stays.
void release_served(served_path* p);

// Whether /dev/console is a terminal other than a pseudo-terminal that this
// process may write; false with the reason.
bool console_is_plain_terminal(std::string* why);

// Whether this process can give a file to another account (its user
// namespace maps uid OTHER_ACCOUNT); false with the reason.
constexpr unsigned OTHER_ACCOUNT = 65534; // "nobody"
bool can_give_to_other_account(std::string* why);

// --voice-gateway: stands in for the voice gateway outside any session. Each
// path becomes a link to a terminal; every message that arrives is printed
// as "PATH: TEXT" (in the session file's escapes) until SIGINT or SIGTERM,
// then the links are removed. Returns the exit status.
int run_voice_gateway(const std::vector<std::string>& paths);

// One session being played: its state as one value, made fresh for each
// session, and the pump that collects what the gateway does meanwhile.
#pragma once
#include <sys/types.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "expectations.h"
#include "fake_radio.h"
#include "file_watch.h"
#include "options.h"
#include "session_file.h"
#include "voice_gateway.h"

constexpr int GATEWAY_PORT = 5230;               // the gateway's reflector socket
constexpr int LOCAL_PORT = 54001;                // the gateway's local SDS request port
constexpr const char* WORK_DIR = "/tmp/session"; // inside the private /tmp

// The gateway under test and what the player set up around it.
struct gateway_process {
    pid_t pid = -1;
    int console_fd = -1; // its stdout and stderr, or a log file when attached
    int notify_fd = -1;  // its NOTIFY_SOCKET
    std::vector<int> held_fds;
    int weather_fd = -1;              // the silent weather service's listening socket
    std::vector<std::string> mounted; // the session's own name files, bound over these
    int name_server_fd = -1;          // the name-server stand-in's socket
    bool name_server_answers = false; // it answers "no such name" (else it keeps silent)
    long long wall_offset_s = 0;      // "clock" steps so far: the gateway's wall clock ahead of the real one
};

struct session {
    const player_options* opt;
    const session_spec* script;
    int failures = 0;
    fake_radio radio;
    gateway_process gateway;
    record rec;
    int reflector_fd = -1;
    std::string reflector_at; // after "reflector-at": where the reflector stand-in moved
    std::string extra_hosts;  // lines of the private /etc/hosts the player adds itself
    int inotify_fd = -1;
    std::map<int, std::string> watched_dirs;
    std::set<std::string> tracked;         // files whose writes are recorded
    std::map<std::string, int> own_writes; // the player's own writes, not the gateway's
    std::string console_partial;
    bool console_stalled = false; // "stdout stall": the gateway's output is left unread
    int saved_log_fd = -1;        // --save-log: where the console output is copied
    // The control paths the player serves as the voice gateway: what their
    // reader gets is their writes ("file" lines), and inotify is not asked.
    std::vector<served_path> served;
    std::string skipped; // why the session cannot be played here, or empty
};

// Sets up a session's state for script: inotify, the files it tracks.
void session_begin(session* s, const player_options& opt, const session_spec& script);
// Opens opt->save_log (a directory or a file) as opt->save_log_fd; false with
// the reason printed when it cannot be written.
bool open_saved_log(player_options* opt);

// Closes everything the session opened.
void session_release(session* s);

// Reports a failure of line (0: of the session as a whole).
void fail(session* s, int line, const std::string& what);
void fail_all(session* s, const std::vector<finding>& found);

// Collects whatever arrives within wait_ms: everything already waiting is
// read in one round, so it is stamped before the player's next step.
void pump(session* s, int wait_ms);

// Pumps until done() or the deadline; true when done.
template <typename Done> bool wait_until(session* s, Done done, double deadline)
{
    for (;;) {
        if (done())
            return true;
        double left = deadline - now_s();
        if (left <= 0)
            return false;
        pump(s, left < 0.02 ? static_cast<int>(left * 1000) + 1 : 20);
    }
}

// What the player serves at path (as the session names it), or nullptr.
served_path* served_at(session* s, const std::string& path);

// Watches dir for files written and closed.
void watch(session* s, const std::string& dir);

// The recorder: a pass-through between a real radio and the gateway that
// writes what crossed the radio line as a session file, so that a problem seen
// with a radio replays with the player. The pure part turns timed bytes into
// session lines; the relay (recorder_relay.cpp) moves the bytes.
#pragma once
#include <deque>
#include <string>
#include <vector>

#include "options.h"
#include "pei.h"

// A radio line that comes at least this long after the item before it is
// recorded behind a "wait" step of the gap; shorter gaps are the line's own pace.
constexpr double RECORDED_PAUSE_S = 0.2;
// The longest pause kept after the last line: enough for the gateway's own
// delays (2 s before a voice gateway command, 6 s before a hand-over).
constexpr double RECORDED_TAIL_MAX_S = 10;
// The gateway writes a command in one go; one unfinished for longer is stuck.
constexpr double RECORDED_HOLD_MAX_S = 1;
// The radio's answer to a command comes within the gateway's wait for it;
// lines later than that are the radio's own.
constexpr double RECORDED_REPLY_MAX_S = 1;

// A radio line (complete with its CR LF) or a control file's write, as it
// waits behind a command being written.
struct held_item {
    std::string bytes; // the line without its CR LF, or what the file holds
    double began = 0;  // when the line's first byte came, or the write
    double ended = 0;  // when its last byte came, or the write
    std::string path;  // the control file written; empty: a radio line
};

// The answer to a command, while it comes.
struct open_reply {
    std::string text; // its lines so far, joined by CR LF
    double since = 0; // when the command ended
};

// What has crossed the radio line so far and is not yet a session line.
struct recording {
    std::string radio_partial;        // radio bytes since its last CR LF
    double radio_partial_began = 0;   // when their first byte came
    double radio_partial_ended = 0;   // when their last byte came
    std::string gateway_partial;      // gateway bytes since its last CR or Ctrl-Z
    double gateway_partial_began = 0; // when their first byte came
    std::vector<held_item> waiting;   // what came while a command was being written
    pei_input pei;                    // the gateway's bytes cut as the player's radio cuts them
    std::deque<open_reply> replies;   // the commands still being answered, oldest first
    double last_at = -1;              // when the last recorded item ended; -1: none yet
};

// The gateway has set up its port at time at: pauses count from here.
void recording_begin(recording* r, double at);

// Bytes the radio sent at time at. A radio answers commands in the order it
// got them: while commands are unanswered, each line belongs to the oldest's
// answer, which ends with the radio's final result (OK, ERROR), or unfinished
// when RECORDED_REPLY_MAX_S have passed. Each answer is one "reply" line, which
// the player's radio sends the moment its command is in: the gateway writes
// some sequences without waiting for the answers, so an answer as a step
// could fall behind commands it did not cause.
// Every other line (up to CR LF) becomes a "radio"
// step, after a "wait" when it began RECORDED_PAUSE_S or more after the last
// item. A line that ends while the gateway is writing a command waits for the
// command: the command cannot be its effect, and on replay it must not look
// like one. (A command left unfinished for RECORDED_HOLD_MAX_S holds nothing:
// a gateway that died mid-command must not keep the radio out of the file;
// what it held comes first.) The session lines are appended to out.
void recording_radio(recording* r, double at, const std::string& bytes, std::vector<std::string>* out);

// The gateway wrote the control file path at time at and left content in it:
// a "file" expectation in its place, its report times as {time}. Behind radio
// lines waiting for a command it waits too: on replay it must come after them.
void recording_file(recording* r, double at, const std::string& path, const std::string& content,
                    std::vector<std::string>* out);

// Bytes the gateway wrote at time at. Each command up to its CR, and each
// PDU up to its Ctrl-Z (cut as the player's radio cuts them), becomes a
// "sent" expectation, and its answer is awaited; what waited for
// it follows.
void recording_gateway(recording* r, double at, const std::string& bytes, std::vector<std::string>* out);

// The end of the recording at time at: an unfinished command as "sent", what
// waited for it, and the radio's unfinished line as "radio-bytes".
// Then a "wait" of the time the gateway had to act on the last line (at most
// RECORDED_TAIL_MAX_S): the player stops the gateway after the last line, and
// what the gateway did meanwhile (a forward, a control file) belongs in the
// session as much as the line.
void recording_end(recording* r, double at, std::vector<std::string>* out);

// The configuration file as session lines, read by the gateway's own reader:
// "config KEY=value" for every line it reads as a setting, except the
// settings the player makes (SYS_SERPORT, REFLECTOR_DNS, REFLECTOR_PORT) and
// WEATHER_API_KEY, a secret, whose absence a comment notes. Returns false
// when the file cannot be opened. Like the gateway, it leaves the settings
// in this process as read, with REFLECTOR_DNS looked up.
bool recorded_config(const std::string& file, std::vector<std::string>* out);

// --record: relays between the radio on opt.record_device and a pty for the
// gateway, writing the session file, until SIGINT or SIGTERM or until the
// radio's port goes away. Returns the exit status: 0 when the file was
// written, 1 when the radio's port, the pty or the file could not be opened,
// 2 for a speed the platform has no code for.
int run_recorder(const player_options& opt);

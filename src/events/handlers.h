// The handlers the line dispatcher calls. Each reads the current line in
// `data` and the session state, acts, and returns.
#pragma once

void handle_status();         // four hex digits after an SDS header: a status message
void handle_position();       // payload beginning "038013": a position report
void handle_lip_position();   // payload beginning "0A" and nothing else: a LIP location report
void handle_personal_text();  // payload beginning "8204" or "820C"
void handle_group_text();     // payload beginning "8200"
void handle_confirmation();   // "+CMGS: 0,5," / "+CMGS: 0,4,": releases every held message, oldest first
void release_held_forwards(); // a new radio session: the radio will confirm nothing held now

void handle_ptt_on();  // start of a voice transmission
void handle_ptt_off(); // end of a voice transmission (called only while ptt is 1)

// Held personal forwards waiting for the radio's confirmation, at most.
constexpr int HELD_FORWARDS_MAX = 8;

// Pause, in seconds, before a plain group text reaches the voice gateway;
// the serial thread reads no line meanwhile.
constexpr int GROUP_TEXT_DELAY_S = 6;

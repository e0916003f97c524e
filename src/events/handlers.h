// The handlers the line dispatcher calls. Each takes the payload line it
// handles, and the facts of the SDS header before it that it needs (the
// sender's ISSI, the announced length in bits), acts, and returns.
#pragma once

// Four hex digits after an SDS header: a status message from sender.
void handle_status(const char* line, const char* sender);
// Payload beginning "038013": a position report.
void handle_position(const char* line, const char* sender);
// Payload beginning "0A" and nothing else: a LIP location report, read no
// further than the header's header_bits.
void handle_lip_position(const char* line, int header_bits, const char* sender);
// Payload beginning "8204" or "820C": a personal text, header_bits long.
void handle_personal_text(const char* line, int header_bits, const char* sender);
// Payload beginning "8200": a group text, read to the line's end.
void handle_group_text(const char* line, const char* sender);

void handle_confirmation();   // "+CMGS: 0,5," / "+CMGS: 0,4,": releases every held message, oldest first
void release_held_forwards(); // a new radio session: the radio will confirm nothing held now

// Start of a voice transmission: the caller's identity is taken from line,
// which is split in place, into CALL and CALL_ID.
void handle_ptt_on(char* line);
void handle_ptt_off(); // end of a voice transmission (called only while ptt is 1)

// Held personal forwards waiting for the radio's confirmation, at most.
constexpr int HELD_FORWARDS_MAX = 8;

// Pause, in seconds, before a plain group text reaches the voice gateway;
// the serial thread reads no line meanwhile.
constexpr int GROUP_TEXT_DELAY_S = 6;

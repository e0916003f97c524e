// The radio line dispatcher: which tests a line from the radio meets, and the
// acting on them for one line.
#pragma once

// Actions a line calls for, as bits of the result of classify_line.
constexpr unsigned ACT_OK = 1u << 0;            // "OK": raise got_ser_ok
constexpr unsigned ACT_ERROR = 1u << 1;         // "ERROR" / "+CME ERROR": raise got_ser_error
constexpr unsigned ACT_BLANK_BEFORE = 1u << 2;  // "+CTICN:": empty line before the log line
constexpr unsigned ACT_BLANK_AFTER = 1u << 3;   // "+CTCR:": empty line after the log line
constexpr unsigned ACT_PAYLOAD = 1u << 4;       // line after an SDS header: consumes sds
constexpr unsigned ACT_STATUS = 1u << 5;        // payload of four hex digits
constexpr unsigned ACT_POSITION = 1u << 6;      // payload beginning "038013"
constexpr unsigned ACT_PERSONAL_TEXT = 1u << 7; // payload beginning "8204" / "820C"
constexpr unsigned ACT_GROUP_TEXT = 1u << 8;    // payload beginning "8200"
constexpr unsigned ACT_CONFIRMATION = 1u << 9;  // "+CMGS: 0,5," / "+CMGS: 0,4,"
constexpr unsigned ACT_SDS_HEADER = 1u << 10;   // "+CTSDSR:"
constexpr unsigned ACT_RESTART = 1u << 11;      // "+CTGS:" (but 1,1 / 1,0), "+MCCFG: 0"
constexpr unsigned ACT_PTT_ON = 1u << 12;       // start of a voice transmission
constexpr unsigned ACT_PTT_OFF = 1u << 13;      // end of one (only while ptt is 1)
constexpr unsigned ACT_LIP = 1u << 14;          // payload beginning "0A" that is no other kind

// True when the radio line (from the start) says the radio began a new
// session and wants its initialisation again: "+CTGS:" but "+CTGS: 1,1" and
// "+CTGS: 1,0", and "+MCCFG: 0".
bool restarts_session(const char* line);

// The actions for one non-empty line (ending in its CR), given whether an SDS
// header preceded it (sds) and whether a voice transmission is under way (ptt).
// Every line is also logged; that needs no bit.
unsigned classify_line(const char* line, int sds, int ptt);

// Applies the dispatcher's tests, in their order, to the non-empty line (as
// the reader leaves it, ending in its CR): flags, the console log line,
// payload hand-over, confirmation, SDS header, restart triggers and voice
// activity. An SDS header or a voice activity line is split in place.
void dispatch_line(char* line);

// The "038013" position report: a vendor-specific SDS some radios send
// instead of LIP. Its payload, as bytes: a 3-byte prefix (03 80 13), its own
// length (glen), a type, a value byte ('/' for a position), the fix marker
// ('f' or 'h') at byte 12, latitude and longitude as 32-bit two's complement
// counts over the full circle, then optional height and course, each behind
// a marker byte. A pure decoder from the payload's hex text to its fields.
#pragma once
#include <cstdint>

// Why a payload is not forwarded; FIX_DECODED when it is a position.
enum fix_result {
    FIX_DECODED = 0,
    FIX_TOO_SHORT, // its own length (glen) is short of the position fields
    FIX_NO_FIX,    // the value is no position, or the marker no fix
};

// The fields of one report. Fields after the one that refused the report are
// 0; so are bytes the radio did not send.
struct fix_report {
    int glen;        // the report's own length byte
    int type;        // the type byte
    int value;       // '/' for a position
    int gps;         // fix marker, 'f' or 'h' for a fix
    int32_t lat_raw; // latitude in 1/(2^32 - 1) of 180 degrees
    int32_t lon_raw; // longitude in 1/(2^32 - 1) of 360 degrees
    double latitude; // degrees, negative south of the equator
    double longitude;
    double bearing; // course in degrees, 0 when the report carries none
    double height;  // height, 0 when the report carries none
};

// Decodes payload (hex text beginning "038013", ended by CR or NUL) into
// *report, reading no more than bits / 4 hex digits and never past the text's
// end (digits past either read as 0). The gateway passes the bits of the whole
// line: the report says its own length, and the SDS header's count has never
// bound it. Returns FIX_DECODED, or the reason the payload is not a position.
fix_result fix_decode(const char* payload, int bits, fix_report* report);

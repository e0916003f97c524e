// The "038013" position report as a radio sends it, built from its fields:
// for the decoder's tests and the position handler's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct fix_fields {
    int glen = 25;
    char value = '/';
    char gps = 'f';
    uint32_t lat = 0x3A987654; // 41.2 N
    uint32_t lon = 0x109E60F0; // 23.37 E
    int height_mark = 0x81;
    int height = 300;
    char course_mark = 'V';
    int course = 32;   // 45 degrees
    size_t bytes = 26; // bytes sent: a report may be shorter than glen says
};

// The payload: the bytes sent, in hex digits, and the CR.
inline std::string fix_payload(const fix_fields& f)
{
    char hex[64];
    snprintf(hex, sizeof hex, "038013%02X0A%02X000000000000%02X%08X%08X%02X%04X%02X%02X", f.glen, f.value, f.gps, f.lat,
             f.lon, f.height_mark, f.height, f.course_mark, f.course);
    return std::string(hex).substr(0, 2 * f.bytes) + "\r";
}

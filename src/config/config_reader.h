// The one reader of "sdsbridge.conf", as its two users see it: read_config
// fills the settings and echoes them; --check-config reads the same way in
// silence and is told what each line came to.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "config/reflector_address.h"

// One row per key, in the order keys are compared; either an int or a string.
struct config_key {
    const char* name;
    int* number;
    char* text;
    size_t size; // of text, terminator included
    const char* default_text;
    int default_number;
};
extern const config_key CONFIG_KEYS[];
extern const size_t CONFIG_KEY_COUNT;

// The radio models SYS_HARDWARE can name, each with the flag it sets.
struct model_flag {
    const char* name;
    bool* flag;
};
extern const model_flag RADIO_MODELS[];
extern const size_t RADIO_MODEL_COUNT;

// The weather service's key in the file; not a row of CONFIG_KEYS, as it is
// refused rather than cut.
extern const char WEATHER_KEY_NAME[];

// What the reader did with one line of the file.
enum class line_fate {
    skipped_mark,   // holds "#" or "[" somewhere: skipped as a whole
    no_equals,      // holds no "=": skipped
    unknown_key,    // the text before "=" is no key
    stored,         // a key of CONFIG_KEYS took the value
    weather_taken,  // WEATHER_API_KEY replaced the key in use
    weather_refused // WEATHER_API_KEY was no key: the one in use stays
};

// One line as read (a line longer than one read is several, same number).
struct config_line {
    int number; // in the file, from 1
    line_fate fate;
    std::string text;      // the line, cut at its first CR (not when skipped) and LF
    std::string name;      // before the first "=" (empty without one)
    std::string value;     // after it, as written
    const config_key* key; // stored: the key's row, else nullptr
    int number_held;       // stored number: what the key holds after the line
    std::string text_held; // stored text: what the key holds after the line
};

struct config_trace {
    int open_errno;            // 0 when the file opened, else fopen's errno
    lookup_outcome lookup;     // of REFLECTOR_DNS, once the file was read (found: REFLECTOR_IP is set)
    std::string lookup_reason; // the resolver's words when it was not found
    std::vector<config_line> lines;
};

// read_config without a console line: the settings are restored, read and
// resolved exactly as read_config does, and each line's fate goes to trace.
// Returns what read_config would.
int read_config_traced(const char* cfgFile, config_trace* trace);

// API_KEY as start-up shows it: its first 4 characters, then the mask.
void format_masked_api_key(char* buf, size_t size);

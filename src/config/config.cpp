// Reading "sdsbridge.conf": lenient key=value lines into fixed-width globals.
#include "config/config.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "build_defaults.h"
#include "config/config_reader.h"
#include "config/places.h"
#include "config/reflector_address.h"
#include "util/console.h"
#include "util/text.h"

int REFLECTOR_PORT;
int SYS_DEBUG;
int SYS_SERBAUD;
int SYS_CTOM_WAIT;
char SYS_HARDWARE[51];
char SYS_SERPORT[51];
char GATEWAY_CALL[21];
char GATEWAY_COMMENT[51];
char GATEWAY_ID[11];
char GATEWAY_LAT[21];
char GATEWAY_LON[21];
char DMO_REPEATER[6];
char REFLECTOR_DNS[101];
char CITY[51];
char ZIP[51];
char COUNTRY[51];
char REFLECTOR_ONLY[6];
char DTMF_CTRL_PATH[PATH_MAX];
char PTT_CTRL_PATH[PATH_MAX];

bool CM5000, CM5000A, MTM5400, MTM800FuG, MTM800e, MTP850FuG, MTP850S, SRG3900;

char funktion_print[100];

const char TETRAMASTER[14] = "MERIDIAN-LINK";
char SOCK_UDP_IP[8] = "0.0.0.0";
int SOCK_UDP_PORT = 5230;
char BASE_URL[49] = SDSBRIDGE_DEFAULT_BASE_URL;
char API_KEY[33] = SDSBRIDGE_DEFAULT_API_KEY;

const config_key CONFIG_KEYS[] = {
    {"REFLECTOR_PORT", &REFLECTOR_PORT, nullptr, 0, nullptr, 5220},
    {"SYS_DEBUG", &SYS_DEBUG, nullptr, 0, nullptr, 0},
    {"SYS_HARDWARE", nullptr, SYS_HARDWARE, sizeof SYS_HARDWARE, "not specified", 0},
    {"SYS_SERBAUD", &SYS_SERBAUD, nullptr, 0, nullptr, 9600},
    {"SYS_CTOM_WAIT", &SYS_CTOM_WAIT, nullptr, 0, nullptr, 2},
    {"SYS_SERPORT", nullptr, SYS_SERPORT, sizeof SYS_SERPORT, "/dev/ttyS0", 0},
    {"GATEWAY_CALL", nullptr, GATEWAY_CALL, sizeof GATEWAY_CALL, "CALL-R", 0},
    {"GATEWAY_COMMENT", nullptr, GATEWAY_COMMENT, sizeof GATEWAY_COMMENT, "location/frequenz", 0},
    {"GATEWAY_ID", nullptr, GATEWAY_ID, sizeof GATEWAY_ID, "999999", 0},
    {"GATEWAY_LAT", nullptr, GATEWAY_LAT, sizeof GATEWAY_LAT, "+9999.99", 0},
    {"GATEWAY_LON", nullptr, GATEWAY_LON, sizeof GATEWAY_LON, "+99999.99", 0},
    {"DMO_REPEATER", nullptr, DMO_REPEATER, sizeof DMO_REPEATER, "YES", 0},
    {"REFLECTOR_DNS", nullptr, REFLECTOR_DNS, sizeof REFLECTOR_DNS, SDSBRIDGE_DEFAULT_REFLECTOR_DNS, 0},
    {"CITY", nullptr, CITY, sizeof CITY, "city", 0},
    {"ZIP", nullptr, ZIP, sizeof ZIP, "zip", 0},
    {"COUNTRY", nullptr, COUNTRY, sizeof COUNTRY, "AT", 0},
    // Off by default, so existing stations keep serving whoever sends to them.
    {"REFLECTOR_ONLY", nullptr, REFLECTOR_ONLY, sizeof REFLECTOR_ONLY, "NO", 0},
    {"DTMF_CTRL_PATH", nullptr, DTMF_CTRL_PATH, sizeof DTMF_CTRL_PATH, DTMF_CTRL_DEFAULT, 0},
    {"PTT_CTRL_PATH", nullptr, PTT_CTRL_PATH, sizeof PTT_CTRL_PATH, PTT_CTRL_DEFAULT, 0},
};
const size_t CONFIG_KEY_COUNT = sizeof CONFIG_KEYS / sizeof CONFIG_KEYS[0];

const model_flag RADIO_MODELS[] = {
    {"CM5000", &CM5000},   {"CM5000A", &CM5000A},     {"MTM5400", &MTM5400}, {"MTM800FuG", &MTM800FuG},
    {"MTM800e", &MTM800e}, {"MTP850FuG", &MTP850FuG}, {"MTP850S", &MTP850S}, {"SRG3900", &SRG3900},
};
const size_t RADIO_MODEL_COUNT = sizeof RADIO_MODELS / sizeof RADIO_MODELS[0];

const char WEATHER_KEY_NAME[] = "WEATHER_API_KEY";

namespace {

// The weather service's key: the built-in one unless the file gives a valid one.
constexpr size_t API_KEY_LENGTH = sizeof API_KEY - 1; // 32 lowercase hex characters
// The echo goes to the journal, which more people read than the file: it shows
// enough to tell two keys apart and hides the rest.
constexpr char API_KEY_MASK[] = "****************************"; // 32 - 4 shown

void restore_defaults()
{
    copy_field(funktion_print, "read_config\n");
    copy_field(API_KEY, SDSBRIDGE_DEFAULT_API_KEY);
    for (const config_key& key : CONFIG_KEYS) {
        if (key.number) {
            *key.number = key.default_number;
        } else {
            memset(key.text, 0, key.size);
            copy_bounded(key.text, key.size, key.default_text);
        }
    }
}

// Stores one value and, when echo, shows it with the key's own line.
void store_value(const config_key& key, const char* value, bool echo)
{
    if (key.number) {
        char digits[6];
        copy_field(digits, value); // at most the first 5 characters count
        *key.number = atoi(digits);
        if (echo)
            log_raw("%s=%i\n", key.name, *key.number);
    } else {
        memset(key.text, 0, key.size);
        copy_bounded(key.text, key.size, value);
        if (echo)
            log_raw("%s=%s\n", key.name, key.text);
    }
}

// A key is 32 lowercase hex characters exactly; a longer value is refused, not
// cut, because a cut key is always a wrong one. Returns 1 when it was taken.
int store_weather_key(const char* value, bool echo)
{
    if (strlen(value) != API_KEY_LENGTH || strspn(value, "0123456789abcdef") != API_KEY_LENGTH) {
        if (echo)
            log_raw_refusal("%s refused: not 32 lowercase hexadecimal characters\n", WEATHER_KEY_NAME);
        return 0;
    }
    copy_field(API_KEY, value);
    if (echo) {
        char masked[sizeof API_KEY];
        format_masked_api_key(masked, sizeof masked);
        log_raw("%s=%s\n", WEATHER_KEY_NAME, masked);
    }
    return 1;
}

// The fate of one line, with pointers into it once it is cut at "=".
struct line_reading {
    line_fate fate;
    const char* name;
    const char* value;
    const config_key* key;
};

// The line rules: applies one line (changed in place) to the settings.
line_reading handle_line(char* line, bool echo)
{
    line_reading seen = {line_fate::skipped_mark, "", "", nullptr};
    // A comment or section header anywhere discards the whole line, even one
    // that also holds a value.
    if (strchr(line, '#') || strchr(line, '['))
        return seen;
    line[strcspn(line, "\r")] = '\0';
    line[strcspn(line, "\n")] = '\0';
    char* equals = strchr(line, '=');
    if (!equals) {
        seen.fate = line_fate::no_equals;
        return seen;
    }
    *equals = '\0';
    seen.name = line;
    seen.value = equals + 1;
    if (strcmp(line, WEATHER_KEY_NAME) == 0) {
        seen.fate = store_weather_key(seen.value, echo) ? line_fate::weather_taken : line_fate::weather_refused;
        return seen;
    }
    for (const config_key& key : CONFIG_KEYS) {
        if (strcmp(line, key.name) == 0) {
            store_value(key, seen.value, echo);
            seen.fate = line_fate::stored;
            seen.key = &key;
            return seen;
        }
    }
    seen.fate = line_fate::unknown_key;
    return seen;
}

// Notes what handle_line made of the line whose text (before handling) is text.
void trace_line(config_trace* trace, int number, std::string text, const line_reading& seen)
{
    // A skipped line keeps what follows a CR: its "#" or "[" may stand there.
    if (seen.fate != line_fate::skipped_mark)
        text.resize(std::min(text.find('\r'), text.size()));
    text.resize(std::min(text.find('\n'), text.size()));
    config_line line = {number, seen.fate, text, seen.name, seen.value, seen.key, 0, ""};
    if (seen.key && seen.key->number)
        line.number_held = *seen.key->number;
    else if (seen.key)
        line.text_held = seen.key->text;
    trace->lines.push_back(line);
}

// Looks REFLECTOR_DNS up for the start. A name that does not exist is a
// configuration fault and stops the gateway; a lookup that could not be made
// (a board up before its network) starts it without the reflector, and the
// lookup thread finds the address later. Returns 0 only for the stop.
int resolve_reflector(bool echo, config_trace* trace)
{
    in_addr_t address = 0;
    const char* reason = "";
    lookup_outcome outcome = reflector_lookup(REFLECTOR_DNS, &address, &reason);
    REFLECTOR_IP = outcome == lookup_outcome::found ? address : 0;
    if (trace) {
        trace->lookup = outcome;
        trace->lookup_reason = reason;
    }
    if (outcome == lookup_outcome::no_such_name) {
        if (echo)
            log_raw_failure("Could not resolve host name\n");
        return 0;
    }
    if (!echo)
        return 1;
    if (outcome == lookup_outcome::no_answer) {
        log_raw_refusal("REFLECTOR_DNS %s: no answer (no network yet?), starting without the reflector\n",
                        REFLECTOR_DNS);
    } else {
        char dotted[INET_ADDRSTRLEN];
        format_ipv4(dotted, sizeof dotted, address);
        log_raw("REFLECTOR_IP:%s\n", dotted);
    }
    return 1;
}

void select_model(bool echo)
{
    bool recognized = false;
    for (const model_flag& model : RADIO_MODELS) {
        if (strcmp(SYS_HARDWARE, model.name) == 0) {
            *model.flag = true;
            recognized = true;
        }
    }
    if (recognized && echo)
        log_raw("SYS_HARDWARE type recognized\n\n");
}

// The reading itself; trace is nullptr for the gateway, which echoes instead.
int read_file(const char* cfgFile, config_trace* trace)
{
    const bool echo = !trace;
    restore_defaults();
    FILE* file = fopen(cfgFile, "r");
    if (!file) {
        if (trace)
            trace->open_errno = errno;
        else
            log_raw_failure("Failed to open file %s %i\n", cfgFile, 0);
        return 0;
    }
    if (echo)
        log_raw("Reading file %s\n", cfgFile);
    char line[3020]; // a longer line is handled as several pieces
    int number = 1;
    while (fgets(line, sizeof line, file)) {
        const bool line_ends = strchr(line, '\n') != nullptr;
        std::string text = trace ? line : "";
        line_reading seen = handle_line(line, echo);
        if (trace)
            trace_line(trace, number, text, seen);
        if (line_ends)
            number++;
    }
    fclose(file);
    if (!resolve_reflector(echo, trace))
        return 0;
    select_model(echo);
    return 1;
}

} // namespace

int read_config(const char* cfgFile)
{
    return read_file(cfgFile, nullptr);
}

int read_config_traced(const char* cfgFile, config_trace* trace)
{
    *trace = config_trace{0, lookup_outcome::found, "", {}};
    return read_file(cfgFile, trace);
}

void format_masked_api_key(char* buf, size_t size)
{
    snprintf(buf, size, "%.4s%s", API_KEY, API_KEY_MASK);
}

bool dmo_repeater_on()
{
    return strcmp(DMO_REPEATER, "YES") == 0;
}

bool reflector_only_on()
{
    return strcmp(REFLECTOR_ONLY, "YES") == 0;
}

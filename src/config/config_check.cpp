// sdsbridge --check-config: the gateway's reader is run in silence, and what
// it did with each line is turned into findings an operator can act on. The
// reader stays lenient; only the report is strict.
#include "config/config_check.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/config.h"
#include "config/config_reader.h"
#include "config/reflector_address.h"
#include "util/console.h"

namespace {

// Every text the check prints, in one place. A finding follows "FILE:LINE: ".
constexpr char CANNOT_OPEN[] = "cannot open %s: %s\n";
constexpr char MARK_AFTER_START[] = "holds \"%c\" after its start: the whole line is skipped";
constexpr char NO_EQUALS[] = "no \"=\" on this line: skipped";
constexpr char UNKNOWN_KEY[] = "unknown key %s%s";
constexpr char UNKNOWN_KEY_BLANKS[] = "unknown key \"%s\": blanks are part of the key%s";
constexpr char NO_KEY[] = "no key before \"=\": skipped";
constexpr char KEY_AFTER_BOM[] = "unknown key: a UTF-8 byte order mark stands before %s (save the file without it)";
constexpr char DID_YOU_MEAN[] = " (did you mean %s?)";
constexpr char NOT_A_NUMBER[] = "%s=%s is not a number: reads as %d";
constexpr char NUMBER_TOO_LONG[] = "%s=%s is longer than 5 characters: reads as %d";
constexpr char TEXT_CUT[] = "%s is cut to its %zu characters: \"%s\"";
constexpr char VALUE_BLANKS[] = "%s=\"%s\": a blank at the start or end of a value is part of it";
constexpr char GIVEN_AGAIN[] = "%s given again: this later value wins (first on line %d)";
constexpr char WEATHER_REFUSED_BUILTIN[] =
    "%s refused: not 32 lowercase hexadecimal characters; the built-in key stays";
constexpr char WEATHER_REFUSED_EARLIER[] =
    "%s refused: not 32 lowercase hexadecimal characters; the key of line %d stays";
constexpr char UNKNOWN_MODEL[] = "SYS_HARDWARE=%s is no known radio model%s: the radio gets no initialisation";
constexpr char NOT_EXACTLY_YES[] = "%s=%s is not exactly YES: it counts as NO";
constexpr char DOES_NOT_RESOLVE[] = "REFLECTOR_DNS=%s does not resolve: the gateway would stop";
constexpr char NO_ANSWER[] = "REFLECTOR_DNS=%s could not be looked up (%s): the gateway would start without the "
                             "reflector and look again every %d s";

// What some Windows editors put before the first line; the gateway reads it
// as part of the first key.
constexpr char UTF8_BOM[] = "\xEF\xBB\xBF";
// A suggestion is made only this close (edits, case ignored): a typo or two.
constexpr size_t NEAR_DISTANCE = 2;
// Longer names are far from every key and model; it also bounds the table.
constexpr size_t LONGEST_NAME = 63;

struct finding {
    int line; // 0: the built-in value, no line of the file
    std::string text;
};

__attribute__((format(printf, 3, 4))) void add(std::vector<finding>& findings, int line, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list again;
    va_copy(again, ap);
    int len = vsnprintf(nullptr, 0, fmt, ap);
    std::string text(len > 0 ? static_cast<size_t>(len) + 1 : 1, '\0');
    vsnprintf(text.data(), text.size(), fmt, again);
    text.resize(text.size() - 1);
    va_end(again);
    va_end(ap);
    findings.push_back({line, text});
}

// Edit distance between a and b, letter case ignored.
size_t distance(const char* a, const char* b)
{
    size_t la = strlen(a), lb = strlen(b);
    if (la > LONGEST_NAME || lb > LONGEST_NAME)
        return LONGEST_NAME;
    size_t row[LONGEST_NAME + 1];
    for (size_t j = 0; j <= lb; j++)
        row[j] = j;
    for (size_t i = 1; i <= la; i++) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= lb; j++) {
            size_t above = row[j];
            bool same = toupper(static_cast<unsigned char>(a[i - 1])) == toupper(static_cast<unsigned char>(b[j - 1]));
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0u : 1u)});
            diagonal = above;
        }
    }
    return row[lb];
}

// " (did you mean X?)" for the nearest of names when it is near, else "".
std::string suggestion(const char* written, const std::vector<const char*>& names)
{
    const char* nearest = nullptr;
    size_t best = NEAR_DISTANCE + 1;
    for (const char* name : names) {
        size_t d = distance(written, name);
        if (d < best) {
            best = d;
            nearest = name;
        }
    }
    if (!nearest)
        return "";
    char text[LONGEST_NAME + sizeof DID_YOU_MEAN];
    snprintf(text, sizeof text, DID_YOU_MEAN, nearest);
    return text;
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

bool blank_at_an_end(const std::string& text)
{
    return !text.empty() && (is_blank(text.front()) || is_blank(text.back()));
}

// Comments and section headers on lines of their own are how the file is
// written; a "#" or "[" after other text drops a value the operator meant.
void check_skipped(std::vector<finding>& findings, const config_line& line)
{
    size_t start = line.text.find_first_not_of(std::string(" \t") + UTF8_BOM);
    if (line.fate == line_fate::no_equals) {
        if (start != std::string::npos)
            add(findings, line.number, NO_EQUALS);
        return;
    }
    size_t mark = line.text.find_first_of("#[");
    if (mark != std::string::npos && mark != start)
        add(findings, line.number, MARK_AFTER_START, line.text[mark]);
}

void check_unknown_key(std::vector<finding>& findings, const config_line& line)
{
    std::vector<const char*> names;
    for (size_t i = 0; i < CONFIG_KEY_COUNT; i++)
        names.push_back(CONFIG_KEYS[i].name);
    names.push_back(WEATHER_KEY_NAME);
    std::string near = suggestion(line.name.c_str(), names);
    if (line.name.empty())
        add(findings, line.number, NO_KEY);
    else if (line.name.rfind(UTF8_BOM, 0) == 0)
        add(findings, line.number, KEY_AFTER_BOM, line.name.c_str() + strlen(UTF8_BOM));
    else if (blank_at_an_end(line.name))
        add(findings, line.number, UNKNOWN_KEY_BLANKS, line.name.c_str(), near.c_str());
    else
        add(findings, line.number, UNKNOWN_KEY, line.name.c_str(), near.c_str());
}

// A number is a finding when the gateway's 5-character atoi does not read the
// whole value: trailing text, no digits at all, or more than 5 characters.
void check_stored(std::vector<finding>& findings, const config_line& line)
{
    const config_key& key = *line.key;
    const char* value = line.value.c_str();
    if (key.number) {
        char* end = nullptr;
        strtol(value, &end, 10);
        if (end == value || *end != '\0')
            add(findings, line.number, NOT_A_NUMBER, key.name, value, line.number_held);
        else if (line.value.size() > 5)
            add(findings, line.number, NUMBER_TOO_LONG, key.name, value, line.number_held);
        return;
    }
    if (line.text_held.size() < line.value.size())
        add(findings, line.number, TEXT_CUT, key.name, key.size - 1, line.text_held.c_str());
    if (blank_at_an_end(line.value))
        add(findings, line.number, VALUE_BLANKS, key.name, value);
}

// The line that last set a key, 0 when the built-in value stands.
int last_line_of(const config_trace& trace, const config_key& key)
{
    int last = 0;
    for (const config_line& line : trace.lines)
        if (line.key == &key)
            last = line.number;
    return last;
}

// What holds after the whole file: the model, the two YES switches, the host.
void check_outcome(std::vector<finding>& findings, const config_trace& trace)
{
    std::vector<const char*> models;
    bool known = false;
    for (size_t i = 0; i < RADIO_MODEL_COUNT; i++) {
        models.push_back(RADIO_MODELS[i].name);
        known = known || strcmp(SYS_HARDWARE, RADIO_MODELS[i].name) == 0;
    }
    for (size_t i = 0; i < CONFIG_KEY_COUNT; i++) {
        const config_key& key = CONFIG_KEYS[i];
        int line = last_line_of(trace, key);
        // The sample's "not specified" is how a station says "no model".
        if (key.text == SYS_HARDWARE && !known && strcmp(SYS_HARDWARE, key.default_text) != 0)
            add(findings, line, UNKNOWN_MODEL, SYS_HARDWARE, suggestion(SYS_HARDWARE, models).c_str());
        if ((key.text == DMO_REPEATER || key.text == REFLECTOR_ONLY) && strcmp(key.text, "YES") != 0 &&
            strcasecmp(key.text, "YES") == 0)
            add(findings, line, NOT_EXACTLY_YES, key.name, key.text);
        if (key.text == REFLECTOR_DNS && trace.lookup == lookup_outcome::no_such_name)
            add(findings, line, DOES_NOT_RESOLVE, REFLECTOR_DNS);
        if (key.text == REFLECTOR_DNS && trace.lookup == lookup_outcome::no_answer)
            add(findings, line, NO_ANSWER, REFLECTOR_DNS, trace.lookup_reason.c_str(), REFLECTOR_LOOKUP_PERIOD_S);
    }
}

std::vector<finding> check_lines(const config_trace& trace)
{
    std::vector<finding> findings;
    std::vector<int> first(CONFIG_KEY_COUNT + 1, 0); // the weather key last
    int weather_in_use = 0;                          // the line of the key taken last
    for (const config_line& line : trace.lines) {
        size_t slot = CONFIG_KEY_COUNT;
        switch (line.fate) {
        case line_fate::skipped_mark:
        case line_fate::no_equals:
            check_skipped(findings, line);
            continue;
        case line_fate::unknown_key:
            check_unknown_key(findings, line);
            continue;
        case line_fate::weather_refused:
            if (weather_in_use)
                add(findings, line.number, WEATHER_REFUSED_EARLIER, WEATHER_KEY_NAME, weather_in_use);
            else
                add(findings, line.number, WEATHER_REFUSED_BUILTIN, WEATHER_KEY_NAME);
            continue;
        case line_fate::stored:
            check_stored(findings, line);
            slot = static_cast<size_t>(line.key - CONFIG_KEYS);
            break;
        case line_fate::weather_taken:
            weather_in_use = line.number;
            break;
        }
        if (first[slot])
            add(findings, line.number, GIVEN_AGAIN, line.key ? line.key->name : WEATHER_KEY_NAME, first[slot]);
        else
            first[slot] = line.number;
    }
    check_outcome(findings, trace);
    std::stable_sort(findings.begin(), findings.end(),
                     [](const finding& a, const finding& b) { return a.line < b.line; });
    return findings;
}

// Every key as the gateway holds it, in the order of the table.
void print_effective(const config_trace& trace)
{
    for (size_t i = 0; i < CONFIG_KEY_COUNT; i++) {
        const config_key& key = CONFIG_KEYS[i];
        if (key.number)
            log_raw("%s=%i\n", key.name, *key.number);
        else
            log_raw("%s=%s\n", key.name, key.text);
    }
    char masked[sizeof API_KEY];
    format_masked_api_key(masked, sizeof masked);
    log_raw("%s=%s\n", WEATHER_KEY_NAME, masked);
    if (trace.lookup == lookup_outcome::found) {
        char dotted[INET_ADDRSTRLEN];
        format_ipv4(dotted, sizeof dotted, REFLECTOR_IP);
        log_raw("REFLECTOR_IP:%s\n", dotted);
    }
}

} // namespace

int check_config(const char* cfgFile, bool* opened)
{
    config_trace trace;
    read_config_traced(cfgFile, &trace);
    *opened = !trace.open_errno;
    if (trace.open_errno) {
        log_raw(CANNOT_OPEN, cfgFile, strerror(trace.open_errno));
        return 1;
    }
    std::vector<finding> findings = check_lines(trace);
    for (const finding& f : findings) {
        if (f.line)
            log_raw("%s:%d: %s\n", cfgFile, f.line, f.text.c_str());
        else
            log_raw("%s: %s\n", cfgFile, f.text.c_str());
    }
    if (!findings.empty())
        log_raw("\n");
    print_effective(trace);
    if (trace.lookup == lookup_outcome::no_such_name)
        return 1;
    return findings.empty() ? 0 : 2;
}

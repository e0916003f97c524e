// The weather service's answer read by plain string matching, and the reply
// text built from it.
#include "formats/weather_reply.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/text.h"

namespace {

// The answer's "main" object starts with the temperature; when the object is
// directly followed by "visibility" its members up to there are the segment.
constexpr char START_MARKER[] = "\"temp\":";
constexpr char END_MARKER[] = "},\"visibility\"";
constexpr char TEMP_KEY[] = "\"temp\":";         // kelvin (no unit parameter is sent)
constexpr char PRESSURE_KEY[] = "\"pressure\":"; // hPa
constexpr char HUMIDITY_KEY[] = "\"humidity\":"; // percent
constexpr double KELVIN_AT_ZERO_CELSIUS = 273.15;

// The value after key when field begins with it (1); value stays as it was
// otherwise (0).
int pick(const char* field, const char* key, float* value)
{
    if (!starts_with(field, key))
        return 0;
    *value = static_cast<float>(atof(field + strlen(key)));
    return 1;
}

} // namespace

int weather_parse(const char* answer, size_t length, weather_reading* reading)
{
    // Cleared first, so bytes past a short answer are never an earlier one.
    char buffer[WEATHER_READ_SIZE] = {};
    memcpy(buffer, answer, length < sizeof buffer ? length : sizeof buffer);

    // The last occurrence of each marker within the scanned positions wins.
    int is = 0;
    int ie = 1;
    for (int iw = 0; iw < WEATHER_SCAN_END; iw++) {
        if (memcmp(buffer + iw, START_MARKER, sizeof START_MARKER - 1) == 0)
            is = iw;
        if (memcmp(buffer + iw, END_MARKER, sizeof END_MARKER - 1) == 0)
            ie = iw;
    }

    // No end marker, or one before the start: no segment, so no temperature.
    char wbuffer[WEATHER_READ_SIZE] = {};
    if (ie > is)
        memcpy(wbuffer, buffer + is, static_cast<size_t>(ie - is));

    // split keeps at most 256 fields; the rest of a longer segment stays in the
    // last one, where atof stops at its first comma.
    struct split sp = split(wbuffer, ',');
    *reading = {};
    int has_temperature = 0;
    for (int i = 0; i < sp.count; i++) {
        has_temperature |= pick(sp.pointers[i], TEMP_KEY, &reading->temperature);
        pick(sp.pointers[i], PRESSURE_KEY, &reading->pressure);
        pick(sp.pointers[i], HUMIDITY_KEY, &reading->humidity);
    }
    return has_temperature;
}

void format_weather_reply(const weather_reading* reading, const char* city, char* reply, size_t size)
{
    // A failed query (no answer, an error page, an answer cut short) gives no
    // temperature: 0 K shown as -273.1 C would pass for a reading.
    if (!reading) {
        snprintf(reply, size, "city:%s\rweather not available", city);
        return;
    }
    // The temperature is held in single precision and converted in double,
    // so 273.15 K shows as -0.0 C.
    snprintf(reply, size, "city:%s\rtemp:%.1f C\rpress:%.0f hPa\rhum:%.0f%%", city,
             static_cast<double>(reading->temperature) - KELVIN_AT_ZERO_CELSIUS, static_cast<double>(reading->pressure),
             static_cast<double>(reading->humidity));
}

// The weather service's answer and the reply made of it: a pure reader that
// picks the temperature, pressure and humidity out of the answer's JSON by
// plain string matching, and the reply text the asking radio gets.
#pragma once
#include <cstddef>

constexpr int WEATHER_READ_SIZE = 2024;  // bytes of the answer that are looked at
constexpr int WEATHER_SCAN_END = 2000;   // markers are looked for at positions 0..1999
constexpr int WEATHER_REPLY_SIZE = 1024; // the reply text + NUL

// The values of one answer, as the service gives them (no unit parameter is
// sent); a pressure or humidity the answer does not give is 0.
struct weather_reading {
    float temperature; // kelvin
    float pressure;    // hPa
    float humidity;    // percent
};

// Reads the first length bytes of answer (only the first 2024 count) into
// *reading. Returns 1 when the answer gives a temperature; 0 when it gives
// none (an answer without its bounding markers, an error page, an empty one
// after a failed transfer), and *reading is then no reading.
int weather_parse(const char* answer, size_t length, weather_reading* reading);

// Builds "city:..\rtemp:..\rpress:..\rhum:..%" into reply from reading, or
// "city:..\rweather not available" when reading is null.
void format_weather_reply(const weather_reading* reading, const char* city, char* reply, size_t size);

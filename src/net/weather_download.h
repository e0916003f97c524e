// The weather service's answer fetched over HTTPS with libcurl, through the
// scratch file "query.txt" in the working directory.
#pragma once
#include <cstddef>

constexpr int WEATHER_URL_SIZE = 200; // fits 48 + 4 + 50 + 1 + 50 + 7 + 32 characters + NUL
// libcurl's bound on a whole transfer, connection and name lookup included.
constexpr long WEATHER_TRANSFER_TIMEOUT_S = 60;

// libcurl's global set-up, which is not thread-safe: main calls it once
// before any thread starts. Returns 1 when done; 0 after logging the failure,
// and every download then fails at once.
int weather_setup();

// Formats "<base>zip=<zip>,<country>&appid=<key>" into url; returns the text
// length (cut to fit size).
int format_weather_url(char* url, size_t size, const char* base, const char* zip, const char* country, const char* key);

// Fetches url into the scratch file and reads its first size bytes into
// buffer. Returns the bytes read: 0 when the transfer failed (the scratch
// file may then hold an earlier answer or a part of this one, neither of
// which is a reading) or the file cannot be read. A stop (keep_running
// falling) abandons the transfer within about a second.
size_t weather_download(const char* url, char* buffer, size_t size);

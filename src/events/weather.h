// The weather reply: the request address and the reply text built from the
// service's JSON answer, apart from the download so both can be tested alone.
#pragma once
#include <cstddef>

constexpr int WEATHER_URL_SIZE = 200;    // fits 48 + 4 + 50 + 1 + 50 + 7 + 32 characters + NUL
constexpr int WEATHER_READ_SIZE = 2024;  // bytes of the answer that are looked at
constexpr int WEATHER_SCAN_END = 2000;   // markers are looked for at positions 0..1999
constexpr int WEATHER_REPLY_SIZE = 1024; // the reply text + NUL
constexpr int WEATHER_ISSI_SIZE = 20;    // the asking radio's ISSI + NUL, as CALL_ID

// The request address and the reply text of the last query.
extern char WEATHER_URL[WEATHER_URL_SIZE];
extern char PushMessage[WEATHER_REPLY_SIZE];

// libcurl's global set-up, which is not thread-safe: main calls it once
// before any thread starts. Returns 1 when done; 0 after logging the failure,
// and every weather query then answers "weather not available".
int weather_setup();

// Formats "<base>zip=<zip>,<country>&appid=<key>" into url; returns the text
// length (cut to fit size).
int format_weather_url(char* url, size_t size, const char* base, const char* zip, const char* country, const char* key);

// Builds "city:..\rtemp:..\rpress:..\rhum:..%" into reply from the first
// length bytes of answer (only the first 2024 count). A pressure or humidity
// the answer does not give shows as 0. Without a temperature (an answer
// without its bounding markers, an empty one after a failed transfer) the
// reply is "city:..\rweather not available".
void format_weather_reply(const char* answer, size_t length, const char* city, char* reply, size_t size);

// Starts the weather worker ("tweather_query") unless it runs. Returns 1 when
// it runs; 0 when the thread cannot be created (the next request tries again)
// or the stop has come.
int weather_start();

// Status 61010 from issi on the serial thread: hands issi to the weather
// worker and returns at once. Refused with one line: a second request while a
// query runs, a request when the worker cannot be started, one during the stop.
void handle_weather(const char* issi);

// Thread body of the weather worker: one query per request, until the stop.
void* weather_worker(void* dummy);

// For the stop, once keep_running has fallen: no query starts from now on, and
// a request handed over but not yet begun is dropped; waits up to bound_ms for
// a query in progress to be abandoned. Returns 1 when none runs any more (the
// worker is then outside libcurl for good), 0 when one still does.
int weather_stop(int bound_ms);

// One query for the radio issi: download, reply text into PushMessage, and
// the reply posted as a local SDS request "ISSI+text" (not for an ISSI
// longer than the request's seven-character field: one line says so).
void weather_query(const char* issi);

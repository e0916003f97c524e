// The weather request of a radio (status 61010): whether it is taken, and the
// worker that queries the service and posts the reply, one query at a time.
#pragma once
#include "formats/weather_reply.h"
#include "net/weather_download.h"

// The request address and the reply text of the last query.
extern char WEATHER_URL[WEATHER_URL_SIZE];
extern char PushMessage[WEATHER_REPLY_SIZE];

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

// One query for the radio issi: download, reply text into PushMessage
// ("weather not available" when the download or the answer gives no
// temperature), and the reply posted as a local SDS request "ISSI+text" (not
// for an ISSI longer than the request's seven-character field: one line says
// so).
void weather_query(const char* issi);

// The weather request: taken from the serial thread, queried on a worker of
// its own, one at a time, the reply posted to the local SDS request port for
// the requesting radio. A slow or unreachable service must never keep the
// serial thread from reading the radio.
#include "events/weather.h"

#include <pthread.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "config/config.h"
#include "global.h"
#include "net/datagrams.h"
#include "net/reflector_messages.h"
#include "util/console.h"
#include "util/issi.h"
#include "util/liveness.h"
#include "util/text.h"
#include "util/thread_start.h"

char WEATHER_URL[WEATHER_URL_SIZE];
char PushMessage[WEATHER_REPLY_SIZE];

namespace {

// What the longest query may take: libcurl's 10 s to connect within its 60 s
// for the whole transfer, and some seconds for the scratch file and the post.
constexpr int QUERY_STEP_BOUND_S = static_cast<int>(WEATHER_TRANSFER_TIMEOUT_S) + 20;

// The request handed from the serial thread to the worker.
std::mutex request_lock;
// Never destroyed: the worker still waits on it when the process exits, and
// destroying a condition variable with a waiter blocks the exit for good.
std::condition_variable& request_came = *new std::condition_variable;
char requested_issi[ISSI_FIELD_SIZE]; // the radio that asked
bool request_waiting = false;         // handed over, not yet taken
bool query_running = false;           // the worker is at it
bool worker_started = false;          // the worker thread runs
bool weather_closed = false;          // the stop has come: no query starts any more
// How often a stop looks whether the query has ended.
constexpr int STOP_POLL_MS = 10;

// Starts the worker unless it runs; called with request_lock held. Returns 1
// when it runs.
int start_worker_locked()
{
    if (worker_started)
        return 1;
    pthread_t thread;
    worker_started = start_thread(&thread, weather_worker, "tweather_query") == 1;
    // Nobody joins it: the worker ends at the stop, or with the process.
    if (worker_started)
        pthread_detach(thread);
    return worker_started ? 1 : 0;
}

} // namespace

void weather_query(const char* issi)
{
    format_weather_url(WEATHER_URL, sizeof WEATHER_URL, BASE_URL, ZIP, COUNTRY, API_KEY);
    char answer[WEATHER_READ_SIZE];
    size_t length = weather_download(WEATHER_URL, answer, sizeof answer);
    if (!keep_running)
        return; // abandoned by a stop: no reply would reach the radio now
    weather_reading reading;
    int read = weather_parse(answer, length, &reading);
    format_weather_reply(read ? &reading : nullptr, CITY, PushMessage, sizeof PushMessage);
    // The request's ISSI field is seven characters wide: an eight-digit caller
    // would lend its last digit to the text and the reply would reach another radio.
    if (strlen(issi) > static_cast<size_t>(LOCAL_ISSI_WIDTH)) {
        log_refusal("Reply to %s not sent: a local request carries at most 7 ISSI digits\n", issi);
        return;
    }
    char PushMessageSend[WEATHER_REPLY_SIZE + ISSI_FIELD_SIZE];
    format_local_sds_request(PushMessageSend, sizeof PushMessageSend, issi, PushMessage);
    send_to_local_port(PushMessageSend);
}

int weather_start()
{
    std::lock_guard<std::mutex> lock(request_lock);
    return weather_closed ? 0 : start_worker_locked();
}

void handle_weather(const char* issi)
{
    std::lock_guard<std::mutex> lock(request_lock);
    if (weather_closed || !keep_running) {
        log_refusal("Weather request from %s refused: the gateway stops\n", issi);
        return;
    }
    // One query at a time: a second request while one runs is refused, not
    // queued behind a service that may take its full minute to fail.
    if (request_waiting || query_running) {
        log_refusal("Weather request from %s refused: the query for %s still runs\n", issi, requested_issi);
        return;
    }
    // A worker that could not start at start-up is tried again for each
    // request; one that still cannot start costs this request alone.
    if (!start_worker_locked()) {
        log_failure("Weather request from %s refused: the weather worker cannot start\n", issi);
        return;
    }
    copy_field(requested_issi, issi);
    request_waiting = true;
    request_came.notify_one();
}

void* weather_worker(void*)
{
    liveness_register("tweather_query", QUERY_STEP_BOUND_S);
    std::unique_lock<std::mutex> lock(request_lock);
    for (;;) {
        liveness_waiting();
        request_came.wait(lock, [] { return request_waiting || weather_closed; });
        // A request handed over as the stop came gets no query: its reply
        // could not reach the radio, and no download may begin once the stop
        // has looked whether one runs.
        if (weather_closed || !keep_running)
            break;
        char issi[ISSI_FIELD_SIZE];
        copy_field(issi, requested_issi);
        request_waiting = false;
        query_running = true;
        lock.unlock();
        liveness_step_begin();
        weather_query(issi);
        lock.lock();
        query_running = false;
    }
    request_waiting = false;
    return nullptr;
}

int weather_stop(int bound_ms)
{
    std::unique_lock<std::mutex> lock(request_lock);
    weather_closed = true;
    request_came.notify_one();
    for (int waited = 0; query_running && waited < bound_ms; waited += STOP_POLL_MS) {
        lock.unlock();
        sleep_us(static_cast<long long>(STOP_POLL_MS) * 1000);
        lock.lock();
    }
    return query_running ? 0 : 1;
}

// Weather reply: one GET of the current-weather service into the scratch file,
// three values picked out of its JSON by plain string matching, the reply
// posted to the local SDS request port for the requesting radio. The query
// runs on a worker of its own, one at a time: a slow or unreachable service
// must never keep the serial thread from reading the radio.
#include "events/weather.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "config/config.h"
#include "config/places.h"
#include "events/handlers.h"
#include "events/session.h"
#include "global.h"
#include "net/datagrams.h"
#include "net/reflector_messages.h"
#include "util/console.h"
#include "util/liveness.h"
#include "util/text.h"
#include "util/thread_start.h"

char WEATHER_URL[WEATHER_URL_SIZE];
char PushMessage[WEATHER_REPLY_SIZE];

namespace {

// The answer's "main" object starts with the temperature; when the object is
// directly followed by "visibility" its members up to there are the segment.
constexpr char START_MARKER[] = "\"temp\":";
constexpr char END_MARKER[] = "},\"visibility\"";
constexpr char TEMP_KEY[] = "\"temp\":";         // kelvin (no unit parameter is sent)
constexpr char PRESSURE_KEY[] = "\"pressure\":"; // hPa
constexpr char HUMIDITY_KEY[] = "\"humidity\":"; // percent
constexpr double KELVIN_AT_ZERO_CELSIUS = 273.15;
constexpr long CONNECT_TIMEOUT_S = 10;
constexpr long TRANSFER_TIMEOUT_S = 60;

// Set once by weather_setup, in main before any thread starts.
std::atomic<bool> curl_ready{false};

// What the longest query may take: libcurl's 10 s to connect within its 60 s
// for the whole transfer, and some seconds for the scratch file and the post.
constexpr int QUERY_STEP_BOUND_S = static_cast<int>(TRANSFER_TIMEOUT_S) + 20;

// The request handed from the serial thread to the worker.
std::mutex request_lock;
// Never destroyed: the worker still waits on it when the process exits, and
// destroying a condition variable with a waiter blocks the exit for good.
std::condition_variable& request_came = *new std::condition_variable;
char requested_issi[WEATHER_ISSI_SIZE]; // the radio that asked
bool request_waiting = false;           // handed over, not yet taken
bool query_running = false;             // the worker is at it
bool worker_started = false;            // the worker thread runs
bool weather_closed = false;            // the stop has come: no query starts any more
// How often a stop looks whether the query has ended.
constexpr int STOP_POLL_MS = 10;

// The value after key when field begins with it (1); value stays as it was
// otherwise (0).
int pick(const char* field, const char* key, float* value)
{
    if (!starts_with(field, key))
        return 0;
    *value = static_cast<float>(atof(field + strlen(key)));
    return 1;
}

// libcurl's progress callback: a stop abandons the transfer (libcurl calls
// this at least once a second, also while a silent service or name server is
// waited for), so the process never exits while the query is inside libcurl
// and OpenSSL.
int abandon_on_stop(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return keep_running ? 0 : 1;
}

// libcurl's write callback: appends the received block to the scratch file.
size_t curl_write_data(void* ptr, size_t size, size_t nmemb, void* stream)
{
    return fwrite(ptr, size, nmemb, static_cast<FILE*>(stream));
}

// Fetches url into the scratch file. Returns 1 when the transfer succeeded and
// the scratch file holds this answer; 0 otherwise (it may then hold an earlier
// answer or a part of this one, neither of which is a reading).
int download_answer(const char* url)
{
    // Without the global set-up curl_easy_init would do it here, on the serial
    // thread, where it races with OpenSSL's clean-up at exit.
    if (!curl_ready)
        return 0;
    CURL* curl = curl_easy_init();
    if (!curl)
        return 0;
    FILE* file = fopen(QUERY_FILE, "wb");
    if (!file) {
        log_failure("Cannot write %s: %s\n", QUERY_FILE, strerror(errno));
        curl_easy_cleanup(curl);
        return 0;
    }
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, curl_write_data);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_S);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, TRANSFER_TIMEOUT_S);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, abandon_on_stop);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    // An abandoned name lookup is left to finish on libcurl's resolver thread:
    // without this the abandon waits for it, as long as a silent name server
    // keeps it (10 s with the resolver's defaults), and the stop with it.
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
    CURLcode res = curl_easy_perform(curl);
    log_ts("CURL res:%i\n", static_cast<int>(res));
    curl_easy_cleanup(curl);
    fclose(file);
    return res == CURLE_OK ? 1 : 0;
}

// Reads the start of the scratch file into buffer; returns the bytes read
// (0 when the file cannot be opened).
size_t read_answer(char* buffer, size_t size)
{
    FILE* file = fopen(QUERY_FILE, "r");
    if (!file) {
        log_failure("Cannot read %s: %s\n", QUERY_FILE, strerror(errno));
        return 0;
    }
    size_t got = fread(buffer, 1, size, file);
    fclose(file);
    return got;
}

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

int weather_setup()
{
    CURLcode res = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (res != CURLE_OK) {
        log_failure("curl_global_init failed: %s\n", curl_easy_strerror(res));
        return 0;
    }
    curl_ready = true;
    return 1;
}

int format_weather_url(char* url, size_t size, const char* base, const char* zip, const char* country, const char* key)
{
    return stored(snprintf(url, size, "%szip=%s,%s&appid=%s", base, zip, country, key), size);
}

void format_weather_reply(const char* answer, size_t length, const char* city, char* reply, size_t size)
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
    float temperature = 0;
    float pressure = 0;
    float humidity = 0;
    int has_temperature = 0;
    for (int i = 0; i < sp.count; i++) {
        has_temperature |= pick(sp.pointers[i], TEMP_KEY, &temperature);
        pick(sp.pointers[i], PRESSURE_KEY, &pressure);
        pick(sp.pointers[i], HUMIDITY_KEY, &humidity);
    }
    // A failed query (no answer, an error page, an answer cut short) gives no
    // temperature: 0 K shown as -273.1 C would pass for a reading.
    if (!has_temperature) {
        snprintf(reply, size, "city:%s\rweather not available", city);
        return;
    }

    // The temperature is held in single precision and converted in double,
    // so 273.15 K shows as -0.0 C.
    snprintf(reply, size, "city:%s\rtemp:%.1f C\rpress:%.0f hPa\rhum:%.0f%%", city,
             static_cast<double>(temperature) - KELVIN_AT_ZERO_CELSIUS, static_cast<double>(pressure),
             static_cast<double>(humidity));
}

void weather_query(const char* issi)
{
    format_weather_url(WEATHER_URL, sizeof WEATHER_URL, BASE_URL, ZIP, COUNTRY, API_KEY);
    char buffer[WEATHER_READ_SIZE] = {};
    size_t length = 0;
    if (download_answer(WEATHER_URL))
        length = read_answer(buffer, sizeof buffer);
    if (!keep_running)
        return; // abandoned by a stop: no reply would reach the radio now
    format_weather_reply(buffer, length, CITY, PushMessage, sizeof PushMessage);
    // The request's ISSI field is seven characters wide: an eight-digit caller
    // would lend its last digit to the text and the reply would reach another radio.
    if (strlen(issi) > static_cast<size_t>(LOCAL_ISSI_WIDTH)) {
        log_refusal("Reply to %s not sent: a local request carries at most 7 ISSI digits\n", issi);
        return;
    }
    char PushMessageSend[WEATHER_REPLY_SIZE + WEATHER_ISSI_SIZE];
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
        char issi[WEATHER_ISSI_SIZE];
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

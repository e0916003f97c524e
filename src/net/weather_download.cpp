// One GET of the current-weather service into the scratch file, and the
// start of the file read back. Never on the serial thread: a slow or
// unreachable service takes up to a minute to fail.
#include "net/weather_download.h"

#include <curl/curl.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/places.h"
#include "global.h"
#include "util/console.h"
#include "util/text.h"

namespace {

constexpr long CONNECT_TIMEOUT_S = 10;

// Set once by weather_setup, in main before any thread starts.
std::atomic<bool> curl_ready{false};

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
// the scratch file holds this answer; 0 otherwise.
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
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, WEATHER_TRANSFER_TIMEOUT_S);
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

size_t weather_download(const char* url, char* buffer, size_t size)
{
    return download_answer(url) ? read_answer(buffer, size) : 0;
}

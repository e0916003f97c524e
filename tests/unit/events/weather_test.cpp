// The weather request: a query that never sets libcurl up itself, and the
// worker's start and stop.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cstdint>

#include "config/config.h"
#include "config/places.h"
#include "events/weather.h"
#include "global.h"
#include "support/files.h"
#include "support/stdout_capture.h"
#include "util/text.h"

namespace {

const std::string NOT_AVAILABLE = "city:Sampletown\rweather not available";

// libcurl's global set-up is main's, before any thread runs: a query on the
// serial thread must never do it lazily, so without it there is no query.
TEST(WeatherQuery, WithoutTheGlobalSetUpNothingIsFetched)
{
    std::string scratch = ::testing::TempDir() + "sdsbridge-query-" + std::to_string(getpid());
    saved_global keep_query(QUERY_FILE);
    saved_global keep_city(CITY);
    QUERY_FILE = scratch.c_str();
    copy_field(CITY, "Sampletown");
    capture_stdout_begin();
    weather_query("2620001");
    capture_stdout_end();
    EXPECT_EQ(std::string(PushMessage), NOT_AVAILABLE);
    EXPECT_NE(access(scratch.c_str(), F_OK), 0) << "a download was attempted";
    unlink(scratch.c_str());
}

// The default stack size of new threads, set to size; returns the one before.
// A size that cannot be mapped makes every pthread_create fail meanwhile.
size_t set_default_stack(size_t size)
{
    pthread_attr_t attr;
    size_t before = 0;
    pthread_getattr_default_np(&attr);
    pthread_attr_getstacksize(&attr, &before);
    pthread_attr_setstacksize(&attr, size);
    pthread_setattr_default_np(&attr);
    pthread_attr_destroy(&attr);
    return before;
}

// A worker that cannot be created refuses the request that finds it so, and
// the next request starts it. A request handed over as the stop comes never
// begins its query once the stop has returned. An eight-digit ISSI keeps any
// reply inside the process.
TEST(WeatherWorker, CannotStartThenStop)
{
    saved_global keep_url(WEATHER_URL);
    capture_stdout_begin();
    size_t stack = set_default_stack(SIZE_MAX & ~static_cast<size_t>(0xFFFF));
    handle_weather("2620001");
    set_default_stack(stack);
    WEATHER_URL[0] = '\0';
    handle_weather("26200002");
    keep_running = false;
    EXPECT_EQ(weather_stop(1000), 1);
    std::string url_at_stop = WEATHER_URL;
    sleep_us(200000);
    std::string url_later = WEATHER_URL;
    handle_weather("2620003");
    keep_running = true;
    std::string out = capture_stdout_end();
    EXPECT_NE(out.find("Weather request from 2620001 refused: the weather worker cannot start\n"), std::string::npos)
        << out;
    EXPECT_EQ(out.find("still runs"), std::string::npos) << out;
    EXPECT_EQ(url_later, url_at_stop) << "a query began after the stop";
    EXPECT_NE(out.find("Weather request from 2620003 refused: the gateway stops\n"), std::string::npos) << out;
}

} // namespace

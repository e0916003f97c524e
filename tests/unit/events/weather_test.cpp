// The weather reply: values picked out of the service's answers, a query
// that never sets libcurl up itself, the widest request address, and the
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
const std::string SAMPLETOWN = "city:Sampletown\rtemp:9.4 C\rpress:1023 hPa\rhum:100%";

std::string fixture(const std::string& name)
{
    return read_file(SDSBRIDGE_SOURCE_DIR "/tests/fixtures/weather/" + name);
}

std::string reply_for(const std::string& answer)
{
    char reply[1024];
    format_weather_reply(answer.data(), answer.size(), "Sampletown", reply, sizeof reply);
    return reply;
}

// The "main" members and the end marker; the marker starts at indent + 40
// when the values are "280.15", "1", "2".
std::string main_object(const char* temp, const char* pressure, const char* humidity, size_t indent = 0)
{
    return std::string(indent, ' ') + "{\"temp\":" + temp + ",\"pressure\":" + pressure + ",\"humidity\":" + humidity +
           "},\"visibility\":1}";
}

TEST(WeatherReply, FromAnswers)
{
    std::string many_fields = "{\"temp\":280.15,";
    for (int i = 0; i < 300; i++)
        many_fields += "\"x\":1,";
    many_fields += "\"pressure\":1000,\"humidity\":50},\"visibility\":1}";
    const std::string end_at_1999 = main_object("280.15", "1", "2", 1999 - 40);
    ASSERT_EQ(end_at_1999.find("},\"visibility\""), 1999u);

    const struct {
        const char* name;
        std::string answer;
        std::string reply;
    } cases[] = {
        // temp_min and temp_max follow temp and must not overwrite it.
        {"worked example", fixture("sampletown.json"), SAMPLETOWN},
        {"freezing point in single precision", main_object("273.15", "1000", "50"),
         "city:Sampletown\rtemp:-0.0 C\rpress:1000 hPa\rhum:50%"},
        {"below zero", main_object("268.4", "1009.6", "87.4"), "city:Sampletown\rtemp:-4.8 C\rpress:1010 hPa\rhum:87%"},
        {"repeated members: the last ones count", fixture("repeated-members.json"), SAMPLETOWN},
        {"members past the first 2024 bytes are not seen", fixture("oversized.json"),
         "city:Sampletown\rtemp:25.3 C\rpress:1015 hPa\rhum:64%"},
        {"end marker at 1999 counts", end_at_1999, "city:Sampletown\rtemp:7.0 C\rpress:1 hPa\rhum:2%"},
        {"end marker at 2000 does not", " " + end_at_1999, NOT_AVAILABLE},
        {"more than 256 fields keep the first ones", many_fields, "city:Sampletown\rtemp:7.0 C\rpress:0 hPa\rhum:0%"},
        {"invalid key (401)", fixture("error-401-invalid-key.json"), NOT_AVAILABLE},
        {"empty answer", "", NOT_AVAILABLE},
        {"no visibility member", fixture("no-visibility.json"), NOT_AVAILABLE},
        {"visibility before temp", "{\"a\":{\"b\":1},\"visibility\":1,\"main\":{\"temp\":280.15,\"pressure\":1}}",
         NOT_AVAILABLE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reply_for(c.answer), c.reply);
    }
}

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

TEST(WeatherUrl, WidestSettingsFitWhole)
{
    char url[WEATHER_URL_SIZE];
    std::string base = std::string(30, 'b') + "/data/2.5/weather?";
    std::string zip(50, 'z'), country(50, 'c'), key(32, 'k');
    EXPECT_EQ(format_weather_url(url, sizeof url, base.c_str(), zip.c_str(), country.c_str(), key.c_str()), 192);
    EXPECT_EQ(std::string(url), base + "zip=" + zip + "," + country + "&appid=" + key);
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

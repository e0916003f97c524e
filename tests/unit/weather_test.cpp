// The weather reply: values picked out of the service's answers, the request
// address, and whole queries against a loopback stand-in for the service.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "config/config.h"
#include "config/places.h"
#include "events/handlers.h"
#include "events/session.h"
#include "events/weather.h"
#include "support/capture.h"
#include "support/http_stub.h"
#include "support/virtual_clock.h"

namespace {

const std::string ZEROS = "city:Sampletown\rtemp:-273.1 C\rpress:0 hPa\rhum:0%";
const std::string DOCUMENTED = "city:Sampletown\rtemp:25.3 C\rpress:1015 hPa\rhum:64%";
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

std::string main_object(const char* temp, const char* pressure, const char* humidity)
{
    return std::string("{\"main\":{\"temp\":") + temp + ",\"pressure\":" + pressure + ",\"humidity\":" +
           humidity + "},\"visibility\":10000}";
}

TEST(WeatherReply, FromAnswers)
{
    std::string many_fields = "{\"main\":{\"temp\":280.15,";
    for (int i = 0; i < 300; i++)
        many_fields += "\"x\":1,";
    many_fields += "\"pressure\":1000,\"humidity\":50},\"visibility\":1}";
    ASSERT_LT(many_fields.size(), 2000u);

    const struct {
        const char* name;
        std::string answer;
        std::string reply;
    } cases[] = {
        // temp_min and temp_max follow temp and must not overwrite it.
        {"documented example", fixture("current-documented-example.json"), DOCUMENTED},
        {"worked example", fixture("sampletown.json"), SAMPLETOWN},
        {"freezing point in single precision", main_object("273.15", "1000", "50"),
         "city:Sampletown\rtemp:-0.0 C\rpress:1000 hPa\rhum:50%"},
        {"below zero", main_object("268.4", "1009.6", "87.4"),
         "city:Sampletown\rtemp:-4.8 C\rpress:1010 hPa\rhum:87%"},
        {"repeated members: the last ones count", fixture("repeated-members.json"), SAMPLETOWN},
        {"members past the first 2024 bytes are not seen", fixture("oversized.json"), DOCUMENTED},
        {"more than 256 fields keep the first ones", many_fields,
         "city:Sampletown\rtemp:7.0 C\rpress:0 hPa\rhum:0%"},
        {"invalid key (401)", fixture("error-401-invalid-key.json"), ZEROS},
        {"city not found (404)", fixture("city-not-found-404.json"), ZEROS},
        {"empty answer", fixture("empty.json"), ZEROS},
        {"no visibility member", fixture("no-visibility.json"), ZEROS},
        {"visibility before temp", "{\"a\":{\"b\":1},\"visibility\":1,\"main\":{\"temp\":280.15,\"pressure\":1}}",
         ZEROS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reply_for(c.answer), c.reply);
    }
}

TEST(WeatherReply, EndMarkerCountsOnlyUpToPosition1999)
{
    const std::string object = "{\"temp\":280.15,\"pressure\":1,\"humidity\":2";
    for (size_t end_at : {1999u, 2000u}) {
        SCOPED_TRACE(end_at);
        std::string answer = std::string(end_at - object.size(), ' ') + object + "},\"visibility\":1}";
        EXPECT_EQ(answer.find("},\"visibility\""), end_at);
        EXPECT_EQ(reply_for(answer), end_at == 1999 ? "city:Sampletown\rtemp:7.0 C\rpress:1 hPa\rhum:2%" : ZEROS);
    }
}

TEST(WeatherUrl, ZipCountryAndKey)
{
    char url[WEATHER_URL_SIZE];
    EXPECT_EQ(format_weather_url(url, sizeof url, "https://w.example/data/2.5/weather?", "41059", "IT",
                                 "0123456789abcdef0123456789abcdef"),
              86);
    EXPECT_STREQ(url, "https://w.example/data/2.5/weather?zip=41059,IT&appid=0123456789abcdef0123456789abcdef");

    // The widest settings still fit whole.
    std::string base = std::string(30, 'b') + "/data/2.5/weather?";
    std::string zip(50, 'z'), country(50, 'c'), key(32, 'k');
    EXPECT_EQ(format_weather_url(url, sizeof url, base.c_str(), zip.c_str(), country.c_str(), key.c_str()), 192);
    EXPECT_EQ(std::string(url), base + "zip=" + zip + "," + country + "&appid=" + key);
}

class WeatherQuery : public ::testing::Test {
protected:
    char dir[36] = "/tmp/sdsbridge-weather-XXXXXX";
    std::string query_path;
    const char* saved_query = QUERY_FILE;
    char saved_base[sizeof BASE_URL] = {};
    char saved_key[sizeof API_KEY] = {};

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(dir), nullptr);
        query_path = std::string(dir) + "/query.txt";
        QUERY_FILE = query_path.c_str();
        memcpy(saved_base, BASE_URL, sizeof BASE_URL);
        memcpy(saved_key, API_KEY, sizeof API_KEY);
        snprintf(API_KEY, sizeof API_KEY, "0123456789abcdef0123456789abcdef");
        snprintf(ZIP, sizeof ZIP, "41059");
        snprintf(COUNTRY, sizeof COUNTRY, "IT");
        snprintf(CITY, sizeof CITY, "Sampletown");
        PushMessage[0] = '\0';
        virtual_clock_install();
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        memcpy(BASE_URL, saved_base, sizeof BASE_URL);
        memcpy(API_KEY, saved_key, sizeof API_KEY);
        QUERY_FILE = saved_query;
        unlink(query_path.c_str());
        rmdir(dir);
    }

    void point_at(int port) { snprintf(BASE_URL, sizeof BASE_URL, "http://127.0.0.1:%d/data/2.5/weather?", port); }

    std::string query()
    {
        capture_stdout_begin();
        handle_weather();
        return capture_stdout_end();
    }
};

TEST_F(WeatherQuery, AnswerOfTheServiceBecomesThePushedReply)
{
    const struct {
        const char* file;
        int http_status;
        const std::string& reply;
    } cases[] = {
        {"current-documented-example.json", 200, DOCUMENTED},
        {"oversized.json", 200, DOCUMENTED},
        {"error-401-invalid-key.json", 401, ZEROS}, // an error page is still a completed transfer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        http_stub server;
        std::string body = fixture(c.file);
        http_stub_start(&server, body, c.http_status);
        point_at(server.port);
        std::string log = query();
        std::string request = http_stub_last_request(&server);
        http_stub_stop(&server);

        EXPECT_EQ(log, "<05.12.25 18:40:00> CURL res:0\n");
        EXPECT_EQ(request.rfind("GET /data/2.5/weather?zip=41059,IT&appid=0123456789abcdef0123456789abcdef HTTP/", 0),
                  0u);
        EXPECT_EQ(read_file(query_path), body);
        EXPECT_EQ(PushMessage, c.reply);
    }
}

TEST_F(WeatherQuery, UnreachableServiceDoesNotReuseTheEarlierAnswer)
{
    std::ofstream(query_path, std::ios::binary) << fixture("sampletown.json");
    int port = 0;
    int refusing = http_refusing_socket(&port);
    point_at(port);
    std::string log = query();
    close(refusing);

    EXPECT_EQ(log, "<05.12.25 18:40:00> CURL res:7\n"); // CURLE_COULDNT_CONNECT
    EXPECT_EQ(read_file(query_path), "");
    EXPECT_EQ(PushMessage, ZEROS);
}

TEST_F(WeatherQuery, UnwritableScratchFileGivesZeros)
{
    QUERY_FILE = "/nonexistent-sdsbridge-dir/query.txt";
    http_stub server;
    http_stub_start(&server, fixture("current-documented-example.json"));
    point_at(server.port);
    std::string log = query();
    http_stub_stop(&server);

    EXPECT_EQ(log.find("CURL res:"), std::string::npos);
    EXPECT_NE(log.find("/nonexistent-sdsbridge-dir/query.txt"), std::string::npos);
    EXPECT_EQ(PushMessage, ZEROS);
}

} // namespace

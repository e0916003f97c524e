// The weather reply: values picked out of the service's answers, the widest
// request address, and whole queries against a loopback stand-in for the service.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "config/config.h"
#include "config/places.h"
#include "events/handlers.h"
#include "events/session.h"
#include "events/weather.h"
#include "support/capture.h"
#include "support/virtual_clock.h"

namespace {

const std::string ZEROS = "city:Sampletown\rtemp:-273.1 C\rpress:0 hPa\rhum:0%";
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
    return std::string(indent, ' ') + "{\"temp\":" + temp + ",\"pressure\":" + pressure + ",\"humidity\":" +
           humidity + "},\"visibility\":1}";
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
        {"end marker at 2000 does not", " " + end_at_1999, ZEROS},
        {"more than 256 fields keep the first ones", many_fields, "city:Sampletown\rtemp:7.0 C\rpress:0 hPa\rhum:0%"},
        {"invalid key (401)", fixture("error-401-invalid-key.json"), ZEROS},
        {"empty answer", "", ZEROS},
        {"no visibility member", fixture("no-visibility.json"), ZEROS},
        {"visibility before temp", "{\"a\":{\"b\":1},\"visibility\":1,\"main\":{\"temp\":280.15,\"pressure\":1}}",
         ZEROS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reply_for(c.answer), c.reply);
    }
}

TEST(WeatherUrl, WidestSettingsFitWhole)
{
    char url[WEATHER_URL_SIZE];
    std::string base = std::string(30, 'b') + "/data/2.5/weather?";
    std::string zip(50, 'z'), country(50, 'c'), key(32, 'k');
    EXPECT_EQ(format_weather_url(url, sizeof url, base.c_str(), zip.c_str(), country.c_str(), key.c_str()), 192);
    EXPECT_EQ(std::string(url), base + "zip=" + zip + "," + country + "&appid=" + key);
}

// Stands in for the service: answers one request (waiting at most 5 s) with
// body under the given HTTP status; stores the request line and headers.
void serve_once(int listener, const std::string& body, int status, std::string* request)
{
    std::string response = "HTTP/1.1 " + std::to_string(status) + " Canned\r\nContent-Length: " +
                           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    struct pollfd p = {listener, POLLIN, 0};
    if (poll(&p, 1, 5000) != 1)
        return;
    int client = accept(listener, nullptr, nullptr);
    char buf[1024];
    ssize_t got = 0;
    while (request->find("\r\n\r\n") == std::string::npos && (got = recv(client, buf, sizeof buf, 0)) > 0)
        request->append(buf, static_cast<size_t>(got)); // a GET has no body
    send(client, response.data(), response.size(), MSG_NOSIGNAL);
    close(client);
}

// Whole queries: refused, answered with 200 and 401 (an error page is still
// a completed transfer), and with a scratch file that cannot be written.
TEST(WeatherQuery, AgainstALoopbackService)
{
    char dir[] = "/tmp/sdsbridge-weather-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string query_path = std::string(dir) + "/query.txt";
    const char* saved_query = QUERY_FILE;
    QUERY_FILE = query_path.c_str();
    int port = 0;
    int listener = loopback_socket(SOCK_STREAM, &port);
    snprintf(BASE_URL, sizeof BASE_URL, "http://127.0.0.1:%d/data/2.5/weather?", port);
    snprintf(API_KEY, sizeof API_KEY, "0123456789abcdef0123456789abcdef");
    snprintf(ZIP, sizeof ZIP, "41059");
    snprintf(COUNTRY, sizeof COUNTRY, "IT");
    snprintf(CITY, sizeof CITY, "Sampletown");
    virtual_clock_install();
    auto query = [] {
        PushMessage[0] = '\0';
        capture_stdout_begin();
        handle_weather();
        return capture_stdout_end();
    };

    // Not listening yet: refused, and the earlier answer is not reused.
    std::ofstream(query_path, std::ios::binary) << fixture("sampletown.json");
    EXPECT_EQ(query(), "<05.12.25 18:40:00> CURL res:7\n"); // CURLE_COULDNT_CONNECT
    EXPECT_EQ(read_file(query_path), "");
    EXPECT_EQ(PushMessage, ZEROS);

    listen(listener, 4);
    for (int status : {200, 401}) {
        SCOPED_TRACE(status);
        std::string body = fixture(status == 200 ? "sampletown.json" : "error-401-invalid-key.json");
        std::string request;
        std::thread server(serve_once, listener, body, status, &request);
        EXPECT_EQ(query(), "<05.12.25 18:40:00> CURL res:0\n");
        server.join();
        EXPECT_EQ(request.rfind("GET /data/2.5/weather?zip=41059,IT&appid=0123456789abcdef0123456789abcdef HTTP/", 0),
                  0u);
        EXPECT_EQ(read_file(query_path), body);
        EXPECT_EQ(PushMessage, status == 200 ? SAMPLETOWN : ZEROS);
    }

    QUERY_FILE = "/nonexistent-sdsbridge-dir/query.txt";
    std::string log = query();
    EXPECT_EQ(log.find("CURL res:"), std::string::npos);
    EXPECT_NE(log.find("/nonexistent-sdsbridge-dir/query.txt"), std::string::npos);
    EXPECT_EQ(PushMessage, ZEROS);

    virtual_clock_uninstall();
    close(listener);
    QUERY_FILE = saved_query;
    unlink(query_path.c_str());
    rmdir(dir);
}

} // namespace

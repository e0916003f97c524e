// The weather reply: values picked out of the service's answers.
#include <gtest/gtest.h>

#include <string>

#include "formats/weather_reply.h"
#include "support/files.h"

namespace {

const std::string NOT_AVAILABLE = "city:Sampletown\rweather not available";
const std::string SAMPLETOWN = "city:Sampletown\rtemp:9.4 C\rpress:1023 hPa\rhum:100%";

std::string fixture(const std::string& name)
{
    return read_file(SDSBRIDGE_SOURCE_DIR "/tests/fixtures/weather/" + name);
}

std::string reply_for(const std::string& answer)
{
    char reply[WEATHER_REPLY_SIZE];
    weather_reading reading;
    int read = weather_parse(answer.data(), answer.size(), &reading);
    format_weather_reply(read ? &reading : nullptr, "Sampletown", reply, sizeof reply);
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

} // namespace

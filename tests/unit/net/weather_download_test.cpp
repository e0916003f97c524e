// The weather service's request address.
#include <gtest/gtest.h>

#include <string>

#include "net/weather_download.h"

namespace {

TEST(WeatherUrl, WidestSettingsFitWhole)
{
    char url[WEATHER_URL_SIZE];
    std::string base = std::string(30, 'b') + "/data/2.5/weather?";
    std::string zip(50, 'z'), country(50, 'c'), key(32, 'k');
    EXPECT_EQ(format_weather_url(url, sizeof url, base.c_str(), zip.c_str(), country.c_str(), key.c_str()), 192);
    EXPECT_EQ(std::string(url), base + "zip=" + zip + "," + country + "&appid=" + key);
}

} // namespace

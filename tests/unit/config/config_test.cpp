// The configuration file: its lenient line rules and widths, numbers read
// like atoi of five characters, and the weather key refused and masked.
#include <gtest/gtest.h>

#include <fstream>

#include "config/config.h"
#include "support/stdout_capture.h"

namespace {

// Writes text as the configuration file (one per process: ctest runs the
// tests in parallel), reads it and returns the console.
std::string load(const std::string& text)
{
    std::string path = ::testing::TempDir() + "sdsbridge-config-" + std::to_string(getpid()) + ".conf";
    std::ofstream(path) << text;
    capture_stdout_begin();
    EXPECT_EQ(read_config(path.c_str()), 1) << text;
    std::string out = capture_stdout_end();
    unlink(path.c_str());
    return out;
}

TEST(Config, LineRulesAndWidths)
{
    const struct {
        const char* name;
        std::string text;
        std::string city; // CITY afterwards
    } cases[] = {
        {"blank after = is part of the value", "CITY= Graz\n", " Graz"},
        {"trailing comment drops the whole line", "CITY=Graz\nCITY=Linz # home\n", "Graz"},
        {"bracket anywhere drops the line", "CITY=Graz\nCITY=Linz[1]\n", "Graz"},
        {"CR LF line end cut", "CITY=Graz\r\n", "Graz"},
        {"later value wins", "CITY=Graz\nCITY=Linz\n", "Linz"},
        {"keys are case-sensitive", "city=Graz\n", "city"},
        {"only the first = separates", "CITY=a=b\n", "a=b"},
        {"no = at all", "CITY\n", "city"},
        {"last line without newline", "CITY=Wien", "Wien"},
        {"cut to the width of 50", "CITY=" + std::string(60, 'x') + "\n", std::string(50, 'x')},
    };
    for (const auto& c : cases) {
        load(c.text);
        EXPECT_EQ(std::string(CITY), c.city) << c.name;
    }
    EXPECT_NE(load("DMO_REPEATER=YESYESYES\n").find("DMO_REPEATER=YESYE\n"), std::string::npos)
        << "the echo shows the value as cut";
    load(""); // the defaults again for the tests that follow
}

TEST(Config, IntegersReadLikeAtoiOfFiveCharacters)
{
    const std::pair<const char*, int> cases[] = {
        {"5220abc", 5220}, {"123456", 12345}, {"yes", 0}, {" 42", 42}, {"-7", -7}, {"", 0}, {"  123456", 123},
    };
    for (const auto& [value, expected] : cases) {
        load(std::string("REFLECTOR_PORT=") + value + "\n");
        EXPECT_EQ(REFLECTOR_PORT, expected) << value;
    }
}

TEST(Config, WeatherKeyReadRefusedAndMasked)
{
    const std::string key = "0123456789abcdef0123456789abcdef";
    const std::string builtin = API_KEY;
    const std::string refused = "WEATHER_API_KEY refused: not 32 lowercase hexadecimal characters\n";
    const struct {
        const char* name;
        std::string value;
        bool taken;
    } cases[] = {
        {"32 lowercase hex", key, true},
        {"uppercase", "0123456789ABCDEF0123456789ABCDEF", false},
        {"31 characters", key.substr(1), false},
        {"33 characters: refused, not cut", key + "0", false},
        {"not hex", "g123456789abcdef0123456789abcdef", false},
        {"trailing blank", key.substr(1) + " ", false},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        std::string out = load("WEATHER_API_KEY=" + c.value + "\n");
        EXPECT_EQ(std::string(API_KEY), c.taken ? c.value : builtin) << c.name;
        EXPECT_NE(out.find(c.taken ? "WEATHER_API_KEY=0123****************************\n" : refused), std::string::npos)
            << c.name << ": " << out;
        EXPECT_EQ(out.find(key.substr(4)), std::string::npos) << c.name << ": the key shows past its fourth character";
    }
    load("WEATHER_API_KEY=" + key + "\n");
    load("");
    EXPECT_EQ(std::string(API_KEY), builtin) << "a new read starts from the built-in key";
}

} // namespace

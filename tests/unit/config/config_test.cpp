// The configuration file: its lenient line rules and the widths of its texts.
// Numbers and the weather key are judged by the check's table, which reads
// through the same reader.
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

} // namespace

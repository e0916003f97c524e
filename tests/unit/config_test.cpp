// Reading the configuration file: lenient parsing, widths, echo lines, models.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <unistd.h>

#include "config/config.h"
#include "support/capture.h"

namespace {

// One file per process: ctest runs the tests of this file in parallel.
std::string config_path()
{
    return ::testing::TempDir() + "sdsbridge-config-" + std::to_string(getpid()) + ".conf";
}

// Writes text as the configuration file and reads it; returns the console.
std::string load(const std::string& text, int* result)
{
    std::ofstream(config_path()) << text;
    capture_stdout_begin();
    *result = read_config(config_path().c_str());
    return capture_stdout_end();
}

void clear_models()
{
    CM5000 = CM5000A = MTM5400 = MTM800FuG = MTM800e = MTP850FuG = MTP850S = SRG3900 = false;
}

} // namespace

TEST(Config, DefaultsWhenNoLineHoldsAValue)
{
    int ok = 0;
    std::string out = load("just words\n\n[section]\n", &ok);
    EXPECT_EQ(ok, 1); // the built-in reflector host resolves
    EXPECT_EQ(REFLECTOR_PORT, 5220);
    EXPECT_EQ(SYS_DEBUG, 0);
    EXPECT_STREQ(SYS_HARDWARE, "not specified");
    EXPECT_EQ(SYS_SERBAUD, 9600);
    EXPECT_EQ(SYS_CTOM_WAIT, 2);
    EXPECT_STREQ(SYS_SERPORT, "/dev/ttyS0");
    EXPECT_STREQ(GATEWAY_CALL, "CALL-R");
    EXPECT_STREQ(GATEWAY_COMMENT, "location/frequenz");
    EXPECT_STREQ(GATEWAY_ID, "999999");
    EXPECT_STREQ(GATEWAY_LAT, "+9999.99");
    EXPECT_STREQ(GATEWAY_LON, "+99999.99");
    EXPECT_STREQ(DMO_REPEATER, "YES");
    EXPECT_STREQ(CITY, "city");
    EXPECT_STREQ(ZIP, "zip");
    EXPECT_STREQ(COUNTRY, "AT");
    EXPECT_STREQ(funktion_print, "read_config\n");
    EXPECT_EQ(out, "Reading file " + config_path() + "\nREFLECTOR_IP:127.0.0.1\n");
}

TEST(Config, LineRules)
{
    struct {
        const char* name;
        const char* text;
        const char* city; // CITY afterwards
    } cases[] = {
        {"plain value", "CITY=Graz\n", "Graz"},
        {"blank after = is part of the value", "CITY= Graz\n", " Graz"},
        {"trailing comment drops the whole line", "CITY=Graz\nCITY=Linz # home\n", "Graz"},
        {"bracket anywhere drops the line", "CITY=Graz\nCITY=Linz[1]\n", "Graz"},
        {"CR LF line end cut", "CITY=Graz\r\n", "Graz"},
        {"later value wins", "CITY=Graz\nCITY=Linz\n", "Linz"},
        {"keys are case-sensitive", "city=Graz\n", "city"},
        {"only the first = separates", "CITY=a=b\n", "a=b"},
        {"no = at all", "CITY\n", "city"},
        {"last line without newline", "CITY=Wien", "Wien"},
    };
    for (const auto& c : cases) {
        int ok = 0;
        load(c.text, &ok);
        EXPECT_EQ(ok, 1) << c.name;
        EXPECT_STREQ(CITY, c.city) << c.name;
    }
}

TEST(Config, StringsAreCutToTheirWidth)
{
    int ok = 0;
    std::string out = load("CITY=" + std::string(60, 'x') + "\nGATEWAY_CALL=" + std::string(25, 'C') + "\n"
                           "DMO_REPEATER=YESYESYES\n", &ok);
    EXPECT_EQ(std::string(CITY), std::string(50, 'x'));
    EXPECT_EQ(std::string(GATEWAY_CALL), std::string(20, 'C'));
    EXPECT_STREQ(DMO_REPEATER, "YESYE");
    EXPECT_NE(out.find("CITY=" + std::string(50, 'x') + "\n"), std::string::npos);
}

TEST(Config, IntegersReadLikeAtoiOfFiveCharacters)
{
    struct {
        const char* value;
        int expected;
    } cases[] = {
        {"5220abc", 5220}, {"123456", 12345}, {"yes", 0}, {" 42", 42}, {"-7", -7}, {"", 0}, {"  123456", 123},
    };
    for (const auto& c : cases) {
        int ok = 0;
        std::string out = load(std::string("REFLECTOR_PORT=") + c.value + "\n", &ok);
        EXPECT_EQ(REFLECTOR_PORT, c.expected) << c.value;
        EXPECT_NE(out.find("REFLECTOR_PORT=" + std::to_string(c.expected) + "\n"), std::string::npos) << c.value;
    }
}

TEST(Config, ModelFlagsAreExactAndCaseSensitive)
{
    struct {
        const char* hardware;
        bool* flag;
    } cases[] = {
        {"MTM5400", &MTM5400}, {"MTM800e", &MTM800e}, {"CM5000", &CM5000},   {"CM5000A", &CM5000A},
        {"SRG3900", &SRG3900}, {"MTP850S", &MTP850S}, {"MTP850FuG", &MTP850FuG}, {"MTM800FuG", &MTM800FuG},
    };
    for (const auto& c : cases) {
        clear_models();
        int ok = 0;
        std::string out = load(std::string("SYS_HARDWARE=") + c.hardware + "\n", &ok);
        EXPECT_TRUE(*c.flag) << c.hardware;
        EXPECT_NE(out.find("SYS_HARDWARE type recognized\n\n"), std::string::npos) << c.hardware;
    }
    clear_models();
    int ok = 0;
    std::string out = load("SYS_HARDWARE=mtm5400\n", &ok);
    EXPECT_FALSE(MTM5400);
    EXPECT_EQ(out.find("recognized"), std::string::npos);
    clear_models();
}

TEST(Config, MissingFileAndUnresolvableHostFail)
{
    capture_stdout_begin();
    int ok = read_config("/nonexistent/sdsbridge.conf");
    std::string out = capture_stdout_end();
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(out, "Failed to open file /nonexistent/sdsbridge.conf 0\n");

    out = load("REFLECTOR_DNS=no-such-host.invalid\n", &ok);
    EXPECT_EQ(ok, 0);
    EXPECT_NE(out.find("Could not resolve host name\n"), std::string::npos);

    out = load("REFLECTOR_DNS=127.0.0.2\n", &ok);
    EXPECT_EQ(ok, 1);
    EXPECT_STREQ(REFLECTOR_IP, "127.0.0.2");
    load("", &ok); // leave the defaults for other tests
}

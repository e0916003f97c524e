// --check-config: each finding at its line, in file order, and the three
// exit statuses; the settings shown after them, the weather key masked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "config/config_check.h"
#include "support/stdout_capture.h"

namespace {

const std::string DNS = "REFLECTOR_DNS=127.0.0.1\n";
const std::string KEY = "0123456789abcdef0123456789abcdef";
const std::string UPPER = "0123456789ABCDEF0123456789ABCDEF";

// Checks text as a file (none when text is nullptr); returns the output with
// the file's name replaced by "F", and the status.
std::pair<std::string, int> check(const char* text)
{
    std::string path = ::testing::TempDir() + "sdsbridge-check-" + std::to_string(getpid()) + ".conf";
    unlink(path.c_str());
    if (text)
        std::ofstream(path) << text;
    capture_stdout_begin();
    bool opened = false;
    int status = check_config(path.c_str(), &opened);
    EXPECT_EQ(opened, text != nullptr);
    std::string out = capture_stdout_end();
    unlink(path.c_str());
    for (size_t at; (at = out.find(path)) != std::string::npos;)
        out.replace(at, path.size(), "F");
    return {out, status};
}

TEST(ConfigCheck, FindingsInFileOrderAndStatus)
{
    const struct {
        std::string text;
        std::string findings; // the output up to the blank line
        int status;
    } cases[] = {
        {DNS +
             "# a comment\n  # indented\n[radio]\n\n \t\nSYS_HARDWARE=not specified\nSYS_DEBUG=-7\n"
             "SYS_CTOM_WAIT= 3\nCITY=a=b\r\nWEATHER_API_KEY=" +
             KEY + "\n",
         "", 0},
        {DNS + "REFLECTOR_PROT=5300\nreflector_port=1\nGATEWAY_CALLSIGN=X\n",
         "F:2: unknown key REFLECTOR_PROT (did you mean REFLECTOR_PORT?)\n"
         "F:3: unknown key reflector_port (did you mean REFLECTOR_PORT?)\n"
         "F:4: unknown key GATEWAY_CALLSIGN\n",
         2},
        {"\xEF\xBB\xBF" + DNS,
         "F:1: unknown key: a UTF-8 byte order mark stands before REFLECTOR_DNS (save the file without it)\n", 2},
        {DNS + "GATEWAY_ID =1\n=5\nCITY Graz\n",
         "F:2: unknown key \"GATEWAY_ID \": blanks are part of the key (did you mean GATEWAY_ID?)\n"
         "F:3: no key before \"=\": skipped\nF:4: no \"=\" on this line: skipped\n",
         2},
        {DNS + "REFLECTOR_PORT=52x0\nSYS_DEBUG=yes\nSYS_SERBAUD=115200\nSYS_CTOM_WAIT=\nREFLECTOR_PORT=5220 \n"
               "SYS_CTOM_WAIT=  123456\n",
         "F:2: REFLECTOR_PORT=52x0 is not a number: reads as 52\nF:3: SYS_DEBUG=yes is not a number: reads as 0\n"
         "F:4: SYS_SERBAUD=115200 is longer than 5 characters: reads as 11520\n"
         "F:5: SYS_CTOM_WAIT= is not a number: reads as 0\n"
         "F:6: REFLECTOR_PORT=5220  is not a number: reads as 5220\n"
         "F:6: REFLECTOR_PORT given again: this later value wins (first on line 2)\n"
         "F:7: SYS_CTOM_WAIT=  123456 is longer than 5 characters: reads as 123\n"
         "F:7: SYS_CTOM_WAIT given again: this later value wins (first on line 5)\n",
         2},
        {"GATEWAY_CALL=ABCDEFGHIJKLMNOPQRSTUV\n" + DNS + "CITY= Graz\nGATEWAY_CALL=N0CALL # my call\nZIP=1[0]\r#\n",
         "F:1: GATEWAY_CALL is cut to its 20 characters: \"ABCDEFGHIJKLMNOPQRST\"\n"
         "F:3: CITY=\" Graz\": a blank at the start or end of a value is part of it\n"
         "F:4: holds \"#\" after its start: the whole line is skipped\n"
         "F:5: holds \"[\" after its start: the whole line is skipped\n",
         2},
        {"WEATHER_API_KEY=" + KEY.substr(1) + " \nWEATHER_API_KEY=" + KEY + "\n" + DNS + "WEATHER_API_KEY=" + KEY +
             "\nWEATHER_API_KEY=" + KEY + "0\nWEATHER_API_KEY=" + UPPER + "\nWEATHER_API_KEY=\n",
         "F:1: WEATHER_API_KEY refused: not 32 lowercase hexadecimal characters; the built-in key stays\n"
         "F:4: WEATHER_API_KEY given again: this later value wins (first on line 2)\n"
         "F:5: WEATHER_API_KEY refused: not 32 lowercase hexadecimal characters; the key of line 4 stays\n"
         "F:6: WEATHER_API_KEY refused: not 32 lowercase hexadecimal characters; the key of line 4 stays\n"
         "F:7: WEATHER_API_KEY refused: not 32 lowercase hexadecimal characters; the key of line 4 stays\n",
         2},
        {DNS + "SYS_HARDWARE=Motorola\nDMO_REPEATER=yes\nREFLECTOR_ONLY=Yes\nSYS_HARDWARE=mtm5400\n",
         "F:3: DMO_REPEATER=yes is not exactly YES: it counts as NO\n"
         "F:4: REFLECTOR_ONLY=Yes is not exactly YES: it counts as NO\n"
         "F:5: SYS_HARDWARE given again: this later value wins (first on line 2)\n"
         "F:5: SYS_HARDWARE=mtm5400 is no known radio model (did you mean MTM5400?): the radio gets no "
         "initialisation\n",
         2},
        // An empty name does not exist, and no name server is asked.
        {"CITY=Graz\nREFLECTOR_DNS=\nCOUNTRY=ATX[\n",
         "F:2: REFLECTOR_DNS= does not resolve: the gateway would stop\n"
         "F:3: holds \"[\" after its start: the whole line is skipped\n",
         1},
    };
    for (const auto& c : cases) {
        auto [out, status] = check(c.text.c_str());
        EXPECT_EQ(out.substr(0, out.find("\n\n") + 1), c.findings.empty() ? "" : c.findings) << c.text;
        EXPECT_EQ(status, c.status) << c.text;
    }
    EXPECT_EQ(check(nullptr), std::make_pair(std::string("cannot open F: No such file or directory\n"), 1));
}

TEST(ConfigCheck, EffectiveSettingsAsHeldWithTheKeyMasked)
{
    auto [out, status] = check(("REFLECTOR_PORT=123456\n" + DNS + "WEATHER_API_KEY=" + KEY + "\n").c_str());
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("\n\nREFLECTOR_PORT=12345\nSYS_DEBUG=0\nSYS_HARDWARE=not specified\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("\nREFLECTOR_ONLY=NO\nDTMF_CTRL_PATH=/tmp/dtmf_ctrl\nPTT_CTRL_PATH=/tmp/ptt\n"
                       "WEATHER_API_KEY=0123****************************\n"
                       "REFLECTOR_IP:127.0.0.1\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find(KEY.substr(4)), std::string::npos) << "the key shows past its fourth character";
}

} // namespace

// Status SDS payloads: decoding, the command table, and the roaming reply on
// the reflector and the radio.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "config/config.h"
#include "config/places.h"
#include "events/handlers.h"
#include "events/session.h"
#include "radio/sds.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/pdu.h"
#include "support/virtual_clock.h"

namespace {

const std::string T = "<05.12.25 18:40:00> "; // console prefix at the virtual clock's start
const char UNTOUCHED[] = "untouched";

class StatusLine : public ::testing::Test {
protected:
    char dir[36] = "/tmp/sdsbridge-status-XXXXXX";
    std::string dtmf_path;
    const char* saved_dtmf = DTMF_CTRL_FILE;

    void SetUp() override
    {
        ASSERT_NE(mkdtemp(dir), nullptr);
        dtmf_path = std::string(dir) + "/dtmf_ctrl";
        DTMF_CTRL_FILE = dtmf_path.c_str();
        snprintf(GATEWAY_CALL, sizeof GATEWAY_CALL, "TEST-GW");
        snprintf(GATEWAY_COMMENT, sizeof GATEWAY_COMMENT, "Test gateway");
        snprintf(DMO_REPEATER, sizeof DMO_REPEATER, "NO");
        snprintf(CALL_ID, sizeof CALL_ID, "1234567");
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        DTMF_CTRL_FILE = saved_dtmf;
        unlink(dtmf_path.c_str());
        rmdir(dir);
    }

    // Handles the payload as the line reader leaves it (CR-ended, zero-filled)
    // with the control file untouched and a fresh clock; returns the console.
    std::string handle(const char* digits)
    {
        std::ofstream(dtmf_path, std::ios::binary | std::ios::trunc) << UNTOUCHED;
        virtual_clock_install();
        memset(data, 0, sizeof data);
        snprintf(data, sizeof data, "%s\r", digits);
        capture_stdout_begin();
        handle_status();
        return capture_stdout_end();
    }
};

TEST_F(StatusLine, PayloadsTable)
{
    const struct {
        const char* payload;
        const char* number;
        const char* command; // "" when the status has none
    } cases[] = {
        {"80E8", "33000", "910#"},
        {"80e8", "33000", "910#"},
        {"822A", "33322", "91232#"},
        // The 16-bit character form: the second byte lies past the line.
        {"0012", "4608", ""},
        {"1234", "4660", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        const std::string command = c.command;
        // The command reaches the file only after its two-second wait.
        virtual_clock_on_sleep([&](long long) { EXPECT_EQ(read_file(dtmf_path), UNTOUCHED); });
        std::string log = handle(c.payload);

        std::string expected = T + "status " + c.number + "\n" + T + "got status -> " + c.number + " " + command + "\n";
        if (!command.empty())
            expected += T + "SENDSTATUS " + command + " 2\n\n";
        EXPECT_EQ(log, expected);
        EXPECT_EQ(read_file(dtmf_path), command.empty() ? UNTOUCHED : command);
        EXPECT_EQ(virtual_clock_now_us() - 1764960000LL * 1000000, command.empty() ? 0 : 2000000);
    }
}

TEST_F(StatusLine, RoamingNoticeThenReplyToTheSender)
{
    int reflector = reflector_stub_open();
    int line[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, line), 0);
    serport = line[0];
    sds_lfd = 16;
    int saved_wait = SYS_CTOM_WAIT;
    SYS_CTOM_WAIT = 1;
    // The notice must be on its way before the first command reaches the radio.
    std::string notice_at_first_wait;
    bool first = true;
    virtual_clock_on_sleep([&](long long) {
        if (first)
            notice_at_first_wait = udp_receive(reflector);
        first = false;
    });
    std::string log = handle("EE4D");

    char radio[4096] = {};
    ssize_t got = recv(line[1], radio, sizeof radio - 1, MSG_DONTWAIT);
    serport = -1;
    close(line[0]);
    close(line[1]);
    reflector_stub_close(reflector);
    SYS_CTOM_WAIT = saved_wait;

    EXPECT_EQ(notice_at_first_wait, "::TEST-GW;1234567;RO\n");
    const std::string hex = "8204" "10" "01" + hex_of("MERIDIAN-LINK\rTEST-GW\rTest gateway");
    EXPECT_EQ(std::string(radio, got > 0 ? static_cast<size_t>(got) : 0),
              "AT+CTSDS=12,0\rAT+CMGS=1234567," + std::to_string(4 * hex.size()) + "\r" + hex + "\x1a");
    // Nothing reads the radio, so each of its three waits lasts its full
    // second, and the pause after the PDU follows.
    EXPECT_EQ(log, T + "status 61005\n" + "ROAMING->::TEST-GW;1234567;RO\n\n" +
                       "<05.12.25 18:40:04> got status -> 61005 \n");
    EXPECT_EQ(read_file(dtmf_path), UNTOUCHED);
}

} // namespace

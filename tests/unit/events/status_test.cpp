// Status SDS: the 16-bit value read from either case of hex digits, the
// command table with its odd row, values without a command, and the roaming
// reply (a notice to the reflector, then a personal SDS to the asking radio).
#include <string>

#include "events/handlers.h"
#include "unit/fixture.h"

namespace {

constexpr char SENDER[] = "1234567";
constexpr long long S = 1000000;

void status(const char* line)
{
    handle_status(line, SENDER);
}

using Status = RadioTest;

TEST_F(Status, CommandTableAndValuesWithoutCommand)
{
    const struct {
        const char* payload;
        const char* dtmf; // "" when nothing is written
    } cases[] = {
        {"80E8", "910#"},    {"80e8", "910#"}, {"8228", "91232#"}, {"822A", "91232#"}, // 33322 as 33320
        {"EE4C", "9199#1#"}, {"0012", ""},     {"1234", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.payload);
        unlink(dtmf_path.c_str());
        long long before = virtual_clock_elapsed_us();
        handle(std::string(c.payload) + "\r", status);
        EXPECT_EQ(read_file(dtmf_path), c.dtmf);
        // A command waits 2 s for the voice gateway; no command, no wait.
        EXPECT_EQ(virtual_clock_elapsed_us() - before, c.dtmf[0] ? 2 * S : 0);
    }
}

TEST_F(Status, RoamingNoticeThenTheReplyToTheAskingRadio)
{
    handle("EE4D\r", status);
    EXPECT_EQ(reflector_next(), "::TEST-GW;1234567;RO\n");
    EXPECT_EQ(radio_line_read(radio),
              "AT+CTSDS=12,0\rAT+CMGS=1234567,240\r82041001" + hex_bytes("MERIDIAN-LINK\rTEST-GW\rTest") + "\x1A");
    EXPECT_EQ(read_file(dtmf_path), "");
}

} // namespace

// Radio initialisation: each model's commands in order, each followed by its
// wait of up to a second, and the count the watchdog's bound is built from.
#include <gtest/gtest.h>

#include "config/config.h"
#include "radio/init.h"
#include "radio/serial.h"
#include "support/files.h"
#include "support/radio_line.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

constexpr long long S = 1000000;
const std::string COMMON = "ATZ\rATE1\r";

TEST(Init, EachModelsCommandsAndWaits)
{
    const struct {
        const char* name;
        bool* model;
        const char* dmo;
        std::string commands;
    } cases[] = {
        {"MTM5400 as repeater", &MTM5400, "YES",
         COMMON + "AT+CTOM=6\rAT+CTSP=2,0,0\rAT+CTSP=1,2\rAT+CTSP=1,3,2\rAT+CTSP=1,3,3\rAT+CTSP=1,3,10\r"
                  "AT+CTSP=1,3,130\rAT+CTSP=1,3,131\rAT+CTSP=1,3,138\rAT+CNUMF?\r"},
        {"MTM800e in mode 1", &MTM800e, "NO", COMMON + "AT+CTOM=1\r"},
        {"CM5000", &CM5000, "NO",
         COMMON + "AT+CTOM=1\rAT+CTSP=2,0,0\rAT+CTSP=1,3,2\rAT+CTSP=1,3,3\rAT+CTSP=1,3,130\rAT+CTSP=1,3,131\r"},
        {"CM5000A like CM5000", &CM5000A, "NO",
         COMMON + "AT+CTOM=1\rAT+CTSP=2,0,0\rAT+CTSP=1,3,2\rAT+CTSP=1,3,3\rAT+CTSP=1,3,130\rAT+CTSP=1,3,131\r"},
        {"MTP850S needs none", &MTP850S, "YES", ""},
    };
    saved_global keep_dmo(DMO_REPEATER);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        virtual_clock_scope clock;
        saved_global keep_model(*c.model);
        *c.model = true;
        copy_field(DMO_REPEATER, c.dmo);
        int radio = radio_line_open();
        init_sequence();
        std::string written = radio_line_read(radio);
        EXPECT_EQ(written, c.commands);
        // Nobody answers here: every wait runs to its second.
        long long commands = static_cast<long long>(std::count(written.begin(), written.end(), '\r'));
        EXPECT_EQ(virtual_clock_elapsed_us(), commands * S);
        EXPECT_EQ(init_commands(), commands);
        EXPECT_EQ(radio_needs_init(), commands > 0);
        close(serport.exchange(-1));
        close(radio);
    }
}

} // namespace

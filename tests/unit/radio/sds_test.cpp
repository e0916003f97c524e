// SDS transfers: the exact bytes on the line and the pauses between them.

#include "unit/fixture.h"

namespace {

constexpr long long S = 1000000;

const std::string Z = "\x1A";

using SdsTest = RadioTest;

// The plain transfers' bytes and pauses are played by the sessions; these
// are the edges no radio session reaches.
TEST_F(SdsTest, EdgesOfTheTransferBytes)
{
    const struct {
        const char* name;
        const char* dmo;
        void (*transfer)();
        std::string bytes;
        long long took_us;
    } rows[] = {
        // Nobody answers, so every wait lasts a second; SYS_CTOM_WAIT is 2 s.
        {"lower-case yes does not wrap", "yes", [] { send_sds_gc("hello"); },
         "AT+CTSDS=12,0\rAT+CMGS=1,72\r8200100168656C6C6F" + Z, 3 * S},
        {"empty text is the header alone", "NO", [] { send_sds_pc("1234567", ""); },
         "AT+CTSDS=12,0\rAT+CMGS=1234567,32\r82041001" + Z, 5 * S},
    };
    for (const auto& r : rows) {
        sds_lfd = 16;
        copy_field(DMO_REPEATER, r.dmo);
        long long start = virtual_clock_elapsed_us();
        r.transfer();
        EXPECT_EQ(virtual_clock_elapsed_us() - start, r.took_us) << r.name;
        EXPECT_EQ(radio_line_read(radio), r.bytes) << r.name;
    }
}

} // namespace

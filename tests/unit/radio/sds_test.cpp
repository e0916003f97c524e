// SDS transfers: the exact bytes on the line and the pauses between them,
// and the cut of a long text.

#include "unit/fixture.h"

namespace {

constexpr long long S = 1000000;

const std::string Z = "\x1A";

using SdsTest = RadioTest;

TEST_F(SdsTest, PersonalGroupAndAcknowledgementBytesAndPauses)
{
    const std::string on = "AT+CTOM=1\r", off = "AT+CTOM=6\r", ctsds = "AT+CTSDS=12,0\r";
    const std::string pc = ctsds + "AT+CMGS=1234567,72\r8204100168656C6C6F" + Z;
    const std::string gc = ctsds + "AT+CMGS=1,72\r8200100168656C6C6F" + Z;
    const std::string ack = ctsds + "AT+CMGS=7654321,32\r821000a7" + Z;
    const struct {
        const char* name;
        const char* dmo;
        void (*transfer)();
        std::string bytes;
        long long took_us;
    } rows[] = {
        // Nobody answers, so every wait lasts a second; SYS_CTOM_WAIT is 2 s.
        {"personal", "NO", [] { send_sds_pc("1234567", "hello"); }, pc, 5 * S},
        {"personal repeater", "YES", [] { send_sds_pc("1234567", "hello"); }, on + pc + off, 7 * S},
        {"group", "NO", [] { send_sds_gc("hello"); }, gc, 3 * S},
        {"group repeater", "YES", [] { send_sds_gc("hello"); }, on + gc + off, 7 * S},
        {"ack keeps the reference as received", "NO", [] { send_sds_ack("7654321", "a7"); }, ack, S},
        {"lower-case yes does not wrap", "yes", [] { send_sds_gc("hello"); }, gc, 3 * S},
        {"empty text is the header alone", "NO", [] { send_sds_pc("1234567", ""); },
         ctsds + "AT+CMGS=1234567,32\r82041001" + Z, 5 * S},
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

// Past the hex buffer a text is cut at 499 bytes; the length stays capped at 560 bits.
TEST_F(SdsTest, LongTextIsCutAt499Bytes)
{
    capture_stdout_begin();
    send_sds_gc(std::string(600, 'B').c_str());
    capture_stdout_end();
    EXPECT_EQ(radio_line_read(radio), "AT+CTSDS=12,0\rAT+CMGS=1,560\r82001001" + hex_bytes(std::string(499, 'B')) + Z);
}

} // namespace

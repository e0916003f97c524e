// SDS transfers: the exact bytes on the line for personal, group and
// acknowledgement PDUs, the length cap, the message reference, the pauses,
// and that two transfers from two threads never interleave.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <regex>
#include <set>
#include <string>
#include <thread>

#include "config/config.h"
#include "radio/sds.h"
#include "radio/serial.h"
#include "support/capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

constexpr long long S = 1000000;
const std::string Z = "\x1A";

class SdsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        virtual_clock_install();
        // A pipe, not a socket: one-byte writes would fill a socket's buffer
        // with per-write overhead long before a long PDU is through.
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        serport = ends[1];
        radio = ends[0];
        sds_lfd = 16;
        SYS_CTOM_WAIT = 2;
        copy_field(DMO_REPEATER, "NO");
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        close(serport);
        serport = -1;
        close(radio);
    }
    std::string line_bytes()
    {
        std::string got;
        char buf[8192];
        struct pollfd pfd = {radio, POLLIN, 0};
        ssize_t n;
        while (poll(&pfd, 1, 0) > 0 && (n = read(radio, buf, sizeof buf)) > 0)
            got.append(buf, static_cast<size_t>(n));
        return got;
    }
    int radio = -1;
};

TEST_F(SdsTest, PersonalGroupAndAcknowledgementBytesAndPauses)
{
    const std::string on = "AT+CTOM=1\r", off = "AT+CTOM=6\r", ctsds = "AT+CTSDS=12,0\r";
    const std::string pc = ctsds + "AT+CMGS=1234567,72\r8204100168656C6C6F" + Z;
    const std::string gc = ctsds + "AT+CMGS=1,72\r8200100168656C6C6F" + Z;
    const std::string ack = ctsds + "AT+CMGS=7654321,32\r821000a7" + Z;
    struct row {
        const char* name;
        const char* dmo;
        void (*transfer)();
        std::string bytes;
        long long took_us;
    };
    // Nobody answers, so every wait lasts a second; SYS_CTOM_WAIT is 2 s.
    const row rows[] = {
        {"personal", "NO", [] { send_sds_pc("1234567", "hello"); }, pc, 5 * S},
        {"personal repeater", "YES", [] { send_sds_pc("1234567", "hello"); }, on + pc + off, 7 * S},
        {"group", "NO", [] { send_sds_gc("hello"); }, gc, 3 * S},
        {"group repeater", "YES", [] { send_sds_gc("hello"); }, on + gc + off, 7 * S},
        {"ack keeps the reference as received", "NO", [] { send_sds_ack("7654321", "a7"); }, ack, S},
        {"ack repeater", "YES", [] { send_sds_ack("7654321", "a7"); }, on + ack + off, 5 * S},
        {"lower-case yes does not wrap", "yes", [] { send_sds_gc("hello"); }, gc, 3 * S},
        {"empty text is the header alone", "NO", [] { send_sds_pc("1234567", ""); },
         ctsds + "AT+CMGS=1234567,32\r82041001" + Z, 5 * S},
        {"bytes above 0x7F", "NO", [] { send_sds_pc("1", "\xE4\xFF"); },
         ctsds + "AT+CMGS=1,48\r82041001E4FF" + Z, 5 * S},
    };
    for (const row& r : rows) {
        sds_lfd = 16;
        copy_field(DMO_REPEATER, r.dmo);
        long long start = virtual_clock_now_us();
        r.transfer();
        EXPECT_EQ(virtual_clock_now_us() - start, r.took_us) << r.name;
        EXPECT_EQ(line_bytes(), r.bytes) << r.name;
    }
}

TEST_F(SdsTest, LengthIsCappedAt560BitsButTheWholeTextIsSent)
{
    capture_stdout_begin();
    send_sds_pc("1234567", std::string(66, 'A').c_str());
    EXPECT_EQ(capture_stdout_end(), "");
    EXPECT_NE(line_bytes().find("AT+CMGS=1234567,560\r"), std::string::npos);

    capture_stdout_begin();
    send_sds_pc("1234567", std::string(67, 'A').c_str());
    EXPECT_EQ(capture_stdout_end(), "<05.12.25 18:40:06> message to long 568\n");
    std::string text;
    for (int i = 0; i < 67; i++)
        text += "41";
    EXPECT_EQ(line_bytes(), "AT+CTSDS=12,0\rAT+CMGS=1234567,560\r82041101" + text + Z);

    // Past the hex buffer the text is cut at 499 bytes.
    capture_stdout_begin();
    send_sds_gc(std::string(600, 'B').c_str());
    capture_stdout_end();
    std::string cut = line_bytes();
    size_t start = cut.find("82001201");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(cut.size() - start - 8 - 1, 998u);
}

TEST_F(SdsTest, ReferencesRunOnAcrossPersonalAndGroupAndWrapAfterFF)
{
    sds_lfd = 254;
    send_sds_pc("1", "x");
    send_sds_gc("x");
    send_sds_pc("1", "x");
    send_sds_ack("1", "33"); // the acknowledgement neither uses nor moves it
    send_sds_gc("x");
    std::string bytes = line_bytes(), refs;
    std::regex header("820[04]([0-9A-F]{2})01");
    for (std::sregex_iterator it(bytes.begin(), bytes.end(), header), end; it != end; ++it)
        refs += (*it)[1].str() + " ";
    EXPECT_EQ(refs, "FE FF 00 01 ");
    EXPECT_EQ(sds_lfd, 2u);
}

TEST_F(SdsTest, TransfersFromTwoThreadsNeverInterleave)
{
    constexpr int EACH = 20;
    // Hand the processor over at every pause so that the threads would mix
    // their commands if the lock did not keep each transfer whole.
    virtual_clock_on_sleep([](long long) { std::this_thread::yield(); });
    std::thread a([] {
        for (int i = 0; i < EACH; i++)
            send_sds_pc("1234567", "ping");
    });
    std::thread b([] {
        for (int i = 0; i < EACH; i++)
            send_sds_gc("pong");
    });
    a.join();
    b.join();
    std::string collected = line_bytes(); // about 2 KB: the pipe holds it all
    std::regex transfer("AT\\+CTSDS=12,0\\r(AT\\+CMGS=1234567,64\\r8204([0-9A-F]{2})0170696E67|"
                        "AT\\+CMGS=1,64\\r8200([0-9A-F]{2})01706F6E67)\\x1A");
    std::set<std::string> refs;
    int count = 0;
    std::smatch m;
    for (; std::regex_search(collected, m, transfer, std::regex_constants::match_continuous); count++) {
        refs.insert(m[2].matched ? m[2].str() : m[3].str());
        collected = m.suffix();
    }
    EXPECT_EQ(collected, "") << "interleaved or damaged transfer";
    EXPECT_EQ(count, 2 * EACH);
    EXPECT_EQ(refs.size(), static_cast<size_t>(2 * EACH)) << "a reference was used twice";
}

} // namespace

// The serial line's turns: the transfers of two threads never interleave,
// and each takes its own message reference.
#include <regex>

#include "unit/fixture.h"

namespace {

using SdsTest = RadioTest;

// Each transfer takes the next message reference, 16 to 255 and on from 0.
TEST_F(SdsTest, TransfersFromTwoThreadsNeverInterleaveNorShareAReference)
{
    constexpr int EACH = 20;
    sds_lfd = 240; // the references wrap after FF meanwhile
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
    std::string collected = radio_line_read(radio); // about 2 KB: the pipe holds it all
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
    EXPECT_EQ(sds_lfd, (240u + 2 * EACH) % 256);
}

} // namespace

// The serial line's turns: the transfers of two threads never interleave,
// each takes its own message reference, and the serial thread waiting for
// the others' transfers is no step of its own.
#include <condition_variable>
#include <regex>

#include "unit/fixture.h"
#include "util/liveness.h"

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

// Tickets: a reflector transfer (held), the serial thread's acknowledgement,
// a second reflector transfer, then the serial thread's close of the port.
// Waiting for the close's turn, the serial thread runs its acknowledgement
// between the two transfers; the second transfer's five seconds must not
// count against its one-second step.
TEST_F(SdsTest, WaitingForAnotherThreadsTransferIsNoStep)
{
    liveness_reset();
    liveness_register("tserial", 1);
    thread_local int role = 0; // 1: the held transfer, 2: the one watched
    std::mutex gate;
    std::condition_variable opened;
    bool held = false, go = false;
    std::atomic<int> hung_seen{0};
    virtual_clock_on_sleep([&](long long) {
        const char* name;
        int inside, bound;
        if (role == 2)
            hung_seen += liveness_hung(clock_monotonic_s(), &name, &inside, &bound);
        std::unique_lock<std::mutex> lock(gate);
        held = held || role == 1;
        opened.notify_all();
        opened.wait(lock, [&] { return role != 1 || go; });
    });
    std::thread first([] {
        role = 1;
        send_sds_pc("1234567", "one");
    });
    {
        std::unique_lock<std::mutex> lock(gate);
        opened.wait(lock, [&] { return held; });
    }
    serial_queue_ack("2620001", "41");
    std::thread second([] {
        role = 2;
        send_sds_pc("1234567", "two");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // second takes its ticket
    {
        std::lock_guard<std::mutex> lock(gate);
        go = true;
        opened.notify_all();
    }
    serial_close_port();
    first.join();
    second.join();
    std::string sent = radio_line_read(radio);
    size_t ack = sent.find("82100041"), two = sent.find("74776F\x1A");
    ASSERT_NE(ack, std::string::npos);
    ASSERT_NE(two, std::string::npos) << "the second transfer came after the close";
    EXPECT_LT(ack, two);
    EXPECT_EQ(hung_seen, 0);
    liveness_reset();
}

} // namespace

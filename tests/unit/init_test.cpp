// Radio initialisation: the exact commands per model and operating mode, one
// wait after each, and the serial write lock held throughout.
#include <gtest/gtest.h>

#include <unistd.h>

#include <future>
#include <string>

#include "config/config.h"
#include "radio/init.h"
#include "radio/serial.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

void select_model(bool* model, const char* dmo)
{
    for (bool* flag : {&CM5000, &CM5000A, &MTM5400, &MTM800FuG, &MTM800e, &MTP850FuG, &MTP850S, &SRG3900})
        *flag = flag == model;
    copy_field(DMO_REPEATER, dmo);
}

// Runs init_radio with serport on a pipe; returns the bytes the radio
// received and the virtual time it took.
std::string run_init(long long* took_us)
{
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    serport = ends[1];
    long long start = virtual_clock_now_us();
    init_radio();
    *took_us = virtual_clock_now_us() - start;
    close(ends[1]);
    serport = -1;
    std::string bytes;
    char buf[4096];
    ssize_t n;
    while ((n = read(ends[0], buf, sizeof buf)) > 0)
        bytes.append(buf, static_cast<size_t>(n));
    close(ends[0]);
    return bytes;
}

class InitTest : public ::testing::Test {
protected:
    void SetUp() override { virtual_clock_install(); }
    void TearDown() override
    {
        virtual_clock_uninstall();
        select_model(nullptr, "NO");
    }
};

const std::string CM5000A_NO = "ATZ\rATE1\rAT+CTOM=1\rAT+CTSP=2,0,0\rAT+CTSP=1,3,2\rAT+CTSP=1,3,3\r"
                               "AT+CTSP=1,3,130\rAT+CTSP=1,3,131\r";

TEST_F(InitTest, CommandsPerModelAndModeEachFollowedByAOneSecondWait)
{
    struct row {
        const char* name;
        bool* model;
        const char* dmo;
        std::string bytes;
        int commands;
    };
    const row rows[] = {
        {"MTM5400 repeater", &MTM5400, "YES",
         "ATZ\rATE1\rAT+CTOM=6\rAT+CTSP=2,0,0\rAT+CTSP=1,2\rAT+CTSP=1,3,2\rAT+CTSP=1,3,3\rAT+CTSP=1,3,10\r"
         "AT+CTSP=1,3,130\rAT+CTSP=1,3,131\rAT+CTSP=1,3,138\rAT+CNUMF?\r",
         12},
        {"MTM800e lower-case yes is no", &MTM800e, "yes", "ATZ\rATE1\rAT+CTOM=1\r", 3},
        {"CM5000A not a repeater", &CM5000A, "NO", CM5000A_NO, 8},
        {"SRG3900 needs none", &SRG3900, "YES", "", 0},
        {"unknown model", nullptr, "YES", "", 0},
    };
    for (const row& r : rows) {
        select_model(r.model, r.dmo);
        long long took = 0;
        EXPECT_EQ(run_init(&took), r.bytes) << r.name;
        EXPECT_EQ(took, r.commands * 1000000LL) << r.name << ": nobody answers, every wait runs its second";
    }
}

TEST_F(InitTest, ARadioAnsweringErrorStillGetsTheWholeSequence)
{
    select_model(&CM5000A, "NO");
    // The answer arrives during each wait's first sleep: each wait ends at once.
    virtual_clock_on_sleep([](long long) { got_ser_error = true; });
    long long took = 0;
    EXPECT_EQ(run_init(&took), CM5000A_NO);
    EXPECT_EQ(took, 8 * 50000);
}

TEST_F(InitTest, HoldsTheSerialWriteLockFromFirstCommandToLastWait)
{
    select_model(&CM5000A, "NO");
    int sleeps = 0, free_during = 0;
    virtual_clock_on_sleep([&](long long) {
        sleeps++;
        // Another thread tries the lock while this one waits for an answer.
        free_during += std::async(std::launch::async, [] {
                           bool locked = serial_write_lock.try_lock();
                           if (locked)
                               serial_write_lock.unlock();
                           return locked;
                       }).get();
    });
    long long took = 0;
    run_init(&took);
    EXPECT_EQ(sleeps, 8 * 20);
    EXPECT_EQ(free_during, 0);
    EXPECT_TRUE(serial_write_lock.try_lock()) << "released afterwards";
    serial_write_lock.unlock();
}

} // namespace

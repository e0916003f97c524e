// Radio initialisation: the exact commands per model and operating mode, one
// wait after each, and the serial write lock held throughout.
#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <future>
#include <string>
#include <vector>

#include "config/config.h"
#include "radio/init.h"
#include "radio/serial.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

constexpr long long SECOND_US = 1000000;

void clear_model_flags()
{
    for (bool* flag : {&CM5000, &CM5000A, &MTM5400, &MTM800FuG, &MTM800e, &MTP850FuG, &MTP850S, &SRG3900})
        *flag = false;
}

// Runs init_radio with serport on a pipe; returns the commands the
// radio received (each with its CR) and the virtual time it took.
std::vector<std::string> run_init(long long* took_us, std::string* raw = nullptr)
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
    if (raw)
        *raw = bytes;
    std::vector<std::string> commands;
    size_t from = 0, cr;
    while ((cr = bytes.find('\r', from)) != std::string::npos) {
        commands.push_back(bytes.substr(from, cr + 1 - from));
        from = cr + 1;
    }
    EXPECT_EQ(from, bytes.size()) << "bytes after the last CR";
    return commands;
}

class InitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        virtual_clock_install();
        clear_model_flags();
    }
    void TearDown() override
    {
        virtual_clock_uninstall();
        clear_model_flags();
    }
};

TEST_F(InitTest, CommandsPerModelAndMode)
{
    const std::vector<std::string> mtm5400_yes = {
        "ATZ\r",           "ATE1\r",           "AT+CTOM=6\r",       "AT+CTSP=2,0,0\r",
        "AT+CTSP=1,2\r",   "AT+CTSP=1,3,2\r",  "AT+CTSP=1,3,3\r",   "AT+CTSP=1,3,10\r",
        "AT+CTSP=1,3,130\r", "AT+CTSP=1,3,131\r", "AT+CTSP=1,3,138\r", "AT+CNUMF?\r"};
    const std::vector<std::string> cm5000_no = {"ATZ\r",          "ATE1\r",           "AT+CTOM=1\r",
                                                "AT+CTSP=2,0,0\r", "AT+CTSP=1,3,2\r",  "AT+CTSP=1,3,3\r",
                                                "AT+CTSP=1,3,130\r", "AT+CTSP=1,3,131\r"};
    std::vector<std::string> cm5000_yes = cm5000_no;
    cm5000_yes[2] = "AT+CTOM=6\r";
    struct row {
        const char* name;
        bool* model;
        const char* dmo;
        std::vector<std::string> commands;
    };
    const row rows[] = {
        {"MTM5400 repeater", &MTM5400, "YES", mtm5400_yes},
        {"MTM800e lower-case yes is no", &MTM800e, "yes", {"ATZ\r", "ATE1\r", "AT+CTOM=1\r"}},
        {"CM5000A not a repeater", &CM5000A, "NO", cm5000_no},
        {"CM5000 repeater", &CM5000, "YES", cm5000_yes},
        {"SRG3900 needs none", &SRG3900, "YES", {}},
        {"MTP850S needs none", &MTP850S, "YES", {}},
        {"unknown model", nullptr, "YES", {}},
    };
    for (const row& r : rows) {
        clear_model_flags();
        if (r.model)
            *r.model = true;
        copy_field(DMO_REPEATER, r.dmo);
        long long took = 0;
        std::string raw;
        EXPECT_EQ(run_init(&took, &raw), r.commands) << r.name;
        // Nobody answers: every wait runs its full second.
        EXPECT_EQ(took, static_cast<long long>(r.commands.size()) * SECOND_US) << r.name;
        EXPECT_EQ(raw.find('\n'), std::string::npos) << r.name;
    }
}

TEST_F(InitTest, ARadioAnsweringErrorStillGetsTheWholeSequence)
{
    MTM5400 = true;
    copy_field(DMO_REPEATER, "NO");
    // The answer arrives during each wait's first sleep: each wait ends at once.
    virtual_clock_on_sleep([](long long) { got_ser_error = true; });
    long long took = 0;
    std::vector<std::string> commands = run_init(&took);
    ASSERT_EQ(commands.size(), 12u);
    EXPECT_EQ(commands[2], "AT+CTOM=1\r");
    EXPECT_EQ(took, 12 * 50000);
}

TEST_F(InitTest, HoldsTheSerialWriteLockFromFirstCommandToLastWait)
{
    CM5000A = true;
    int sleeps = 0, free_during = 0;
    virtual_clock_on_sleep([&](long long) {
        sleeps++;
        // Another thread tries the lock while this one waits for an answer.
        bool got = std::async(std::launch::async, [] {
                       bool locked = serial_write_lock.try_lock();
                       if (locked)
                           serial_write_lock.unlock();
                       return locked;
                   }).get();
        if (got)
            free_during++;
    });
    long long took = 0;
    run_init(&took);
    EXPECT_EQ(sleeps, 8 * 20);
    EXPECT_EQ(free_during, 0);
    EXPECT_TRUE(serial_write_lock.try_lock()) << "released afterwards";
    serial_write_lock.unlock();
}

} // namespace

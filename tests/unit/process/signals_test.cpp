// Caught signals: each reported once, in order, and an overflow counted.
#include <gtest/gtest.h>

#include "config/places.h"
#include "process/signals.h"
#include "support/files.h"
#include "support/scratch.h"
#include "support/stdout_capture.h"

namespace {

// Signals may come faster than the beacon tick reports them: each is reported
// once and in order; those beyond the record are counted, and reporting goes on.
TEST(Signals, EveryOneReportedOnceInOrderAndAnOverflowCounted)
{
    std::string path = std::string(scratch_dir()) + "/error.txt";
    saved_global keep_log(FAULT_LOG_FILE);
    FAULT_LOG_FILE = path.c_str();
    // The signal numbers of the reported console lines, in order.
    auto report = [] {
        capture_stdout_begin();
        report_caught_signals();
        std::string out = capture_stdout_end();
        std::vector<int> numbers;
        const std::string mark = "sigCatch errno=";
        for (size_t at = 0; (at = out.find(mark, at)) != std::string::npos; at += mark.size())
            numbers.push_back(atoi(out.c_str() + at + mark.size()));
        return std::make_pair(numbers, out);
    };
    std::vector<int> caught;
    for (int i = 0; i < 300; i++) {
        caught.push_back(i % 3 ? SIGTERM : SIGUSR1);
        sigCatch(caught.back());
    }
    EXPECT_EQ(report().first, caught);

    for (unsigned i = 0; i < SIGNALS_RECORDED + 5; i++)
        sigCatch(SIGTERM);
    auto [numbers, out] = report();
    EXPECT_EQ(numbers, std::vector<int>(SIGNALS_RECORDED, SIGTERM));
    EXPECT_NE(out.find("5 signals not reported"), std::string::npos) << out;
    sigCatch(SIGUSR1);
    EXPECT_EQ(report().first, std::vector<int>{SIGUSR1});

    std::string log = read_file(path);
    size_t entries = 0;
    for (size_t at = 0; (at = log.find("\nsignum=", at)) != std::string::npos; at++)
        entries++;
    EXPECT_EQ(entries, 300 + SIGNALS_RECORDED + 1);
    unlink(path.c_str());
}

} // namespace

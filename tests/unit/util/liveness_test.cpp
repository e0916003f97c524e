// The watchdog's view of the workers: waiting never counts against a worker,
// a step counts from its beginning, and only past its bound is it hung.
#include <gtest/gtest.h>

#include "support/virtual_clock.h"
#include "util/liveness.h"

TEST(Liveness, AWorkerIsHungOnlyInsideAStepLongerThanItsBound)
{
    virtual_clock_scope clock;
    liveness_reset();
    std::thread([] {
        liveness_register("tslow", 10);
        liveness_step_begin();
    }).join();
    const char* name = nullptr;
    int inside = 0, bound = 0;
    time_t start = VIRTUAL_START;
    EXPECT_EQ(liveness_hung(start + 10, &name, &inside, &bound), 0) << "at its bound it is still alive";
    ASSERT_EQ(liveness_hung(start + 11, &name, &inside, &bound), 1);
    EXPECT_EQ(std::string(name), "tslow");
    EXPECT_EQ(inside, 11);
    EXPECT_EQ(bound, 10);

    // This thread waits for input: however long, it is alive.
    liveness_register("twaiting", 1);
    liveness_waiting();
    virtual_clock_advance_us(3600LL * 1000000);
    liveness_step_begin(); // a new step starts its clock afresh
    EXPECT_EQ(liveness_hung(start + 3600, &name, &inside, &bound), 1);
    EXPECT_EQ(std::string(name), "tslow");
    liveness_reset();
    EXPECT_EQ(liveness_hung(start + 3600, &name, &inside, &bound), 0);
}

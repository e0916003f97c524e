// Step clocks of the worker threads: each writes only its own slot, the
// beacon loop reads them all.
#include "util/liveness.h"

#include <atomic>

#include "global.h"

namespace {

struct worker {
    std::atomic<const char*> name{nullptr}; // null: slot free
    std::atomic<int> bound_s{0};
    std::atomic<long long> step_since{0}; // monotonic seconds; 0: waiting for input
};

worker workers[LIVENESS_MAX_WORKERS];
std::atomic<int> worker_count{0};
thread_local worker* self = nullptr;

} // namespace

int liveness_register(const char* name, int longest_step_s)
{
    int slot = worker_count.fetch_add(1);
    if (slot >= LIVENESS_MAX_WORKERS)
        return 0;
    worker& w = workers[slot];
    w.bound_s = longest_step_s;
    w.step_since = 0;
    w.name = name; // last: the slot counts once it has a name
    self = &w;
    return 1;
}

void liveness_step_begin()
{
    if (!self)
        return;
    // 0 means waiting: a step that began in the clock's first second still counts.
    long long now = clock_monotonic_s();
    self->step_since = now > 0 ? now : 1;
}

void liveness_waiting()
{
    if (self)
        self->step_since = 0;
}

int liveness_hung(long long now_s, const char** name, int* inside_s, int* bound_s)
{
    int count = worker_count.load();
    for (int i = 0; i < count && i < LIVENESS_MAX_WORKERS; i++) {
        const worker& w = workers[i];
        const char* n = w.name.load();
        long long since = w.step_since.load();
        if (!n || since == 0)
            continue;
        long long inside = now_s - since;
        if (inside > w.bound_s.load()) {
            *name = n;
            *inside_s = static_cast<int>(inside);
            *bound_s = w.bound_s.load();
            return 1;
        }
    }
    return 0;
}

void liveness_reset()
{
    for (worker& w : workers) {
        w.name = nullptr;
        w.step_since = 0;
    }
    worker_count = 0;
    self = nullptr;
}

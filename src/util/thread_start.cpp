// Thread start with the stop signals blocked.
#include "util/thread_start.h"

#include <csignal>
#include <initializer_list>

#include "util/text.h"

namespace {
constexpr size_t THREAD_NAME_SIZE = 16; // 15 characters and the NUL
} // namespace

int start_thread(pthread_t* thread, void* (*body)(void*), const char* name)
{
    sigset_t stop_signals, before;
    sigemptyset(&stop_signals);
    for (int signum : {SIGHUP, SIGINT, SIGQUIT, SIGTERM})
        sigaddset(&stop_signals, signum);
    // The new thread inherits the mask in force when it is created.
    pthread_sigmask(SIG_BLOCK, &stop_signals, &before);
    int created = pthread_create(thread, nullptr, body, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (created) {
        char cut[THREAD_NAME_SIZE];
        copy_field(cut, name);
        pthread_setname_np(*thread, cut);
    }
    return created;
}

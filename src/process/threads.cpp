// Worker thread start-up.
#include "process/threads.h"

#include "events/serial_listener.h"
#include "net/reflector_listener.h"
#include "net/sms_sender.h"
#include "util/text.h"

pthread_t tserial_listener, treflector_listener, tsms_sender;

namespace {
constexpr size_t THREAD_NAME_SIZE = 16; // 15 characters and the NUL

void start(pthread_t* thread, void* (*body)(void*), const char* name)
{
    if (pthread_create(thread, nullptr, body, nullptr) == 0)
        set_thread_name(*thread, name);
}
} // namespace

void set_thread_name(pthread_t thread, const char* name)
{
    char cut[THREAD_NAME_SIZE];
    copy_field(cut, name);
    pthread_setname_np(thread, cut);
}

void start_worker_threads()
{
    start(&tserial_listener, serial_listener, "serial_listener");
    start(&treflector_listener, reflector_listener, "treflector_listener");
    start(&tsms_sender, sms_sender, "tsms_sender");
}

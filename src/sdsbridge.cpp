// sdsbridge: joins one TETRA radio (serial PEI) to a reflector network (UDP).
// main lists the addresses, prints the banner, installs the signal handler,
// reads the configuration, starts the worker threads and becomes the beacon loop.
#include <unistd.h>

#include <cstring>

#include "config/config.h"
#include "config/places.h"
#include "global.h"
#include "process/beacon.h"
#include "util/console.h"
#include "process/host.h"
#include "process/signals.h"
#include "process/threads.h"

namespace {
int stop(int status)
{
    report_caught_signals();
    log_raw("EXIT sdsbridge\n");
    return status;
}
} // namespace

int main(int argc, char* argv[])
{
    console_init();
    list_addresses();
    print_banner();
    install_sigint_early();
    if (argc > 1 && strcmp(argv[1], "--daemon") == 0) {
        // Keep the working directory: the configuration and fault log live there.
        if (daemon(1, 0) != 0)
            log_raw("daemon failed\n");
        log_raw("sdsbridge started in daemon mode\n");
    }
    if (!install_signal_handlers())
        return 1;
    if (!read_config(CONFIG_FILE))
        return stop(1);
    // sds_lfd starts at 16 statically; setting it here again could undo the
    // reference of a transfer a worker thread has already begun.
    start_worker_threads();
    if (!keep_running)
        return stop(0);
    beacon_loop();
    return stop(0);
}

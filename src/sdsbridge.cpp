// sdsbridge: joins one TETRA radio (serial PEI) to a reflector network (UDP).
// main lists the addresses, prints the banner, installs the signal handler,
// reads the configuration, starts the worker threads and becomes the beacon loop.
#include <unistd.h>

#include <cstring>

#include "build_defaults.h"
#include "config/config.h"
#include "config/config_check.h"
#include "config/places.h"
#include "control/voice_gateway.h"
#include "events/weather.h"
#include "global.h"
#include "net/weather_download.h"
#include "process/beacon.h"
#include "process/host.h"
#include "process/service.h"
#include "process/signals.h"
#include "process/threads.h"
#include "util/console.h"

namespace {

// How long the stop waits for a weather query to be abandoned.
constexpr int WEATHER_STOP_WAIT_MS = 1500;

const char USAGE[] = "usage: sdsbridge [--daemon | --check-config [FILE] | --help | --version]\n"
                     "Joins a TETRA radio on a serial PEI to a reflector network over UDP.\n"
                     "Reads sdsbridge.conf from the working directory and logs on standard output.\n"
                     "  --daemon        detach from the terminal (all console output is then lost)\n"
                     "  --check-config  read FILE (default sdsbridge.conf) as the gateway would, print\n"
                     "                  what it makes of each line, the settings and what each\n"
                     "                  control path is now, start nothing; status 0 clean,\n"
                     "                  1 the gateway would not start, 2 findings\n"
                     "  --help          show this text\n"
                     "  --version       show the version\n";

// --check-config: the file's findings and settings, then what the two
// control paths are now. A path the gateway would refuse is a finding.
int check_everything(const char* cfgFile)
{
    bool opened = false;
    int status = check_config(cfgFile, &opened);
    if (opened && report_control_paths() > 0 && status == 0)
        status = 2;
    return status;
}

// --help and --version answer and end the process before anything starts;
// 1 when argument was one of them.
int answer_query(const char* argument)
{
    if (strcmp(argument, "--help") == 0) {
        log_raw("%s", USAGE);
        return 1;
    }
    if (strcmp(argument, "--version") == 0) {
        log_raw("sdsbridge %s\n", SDSBRIDGE_RELEASE);
        return 1;
    }
    return 0;
}

// The last words: the reports of signals caught so far, everything still
// queued for the console, then "EXIT sdsbridge" as the last line.
int stop(int status)
{
    service_stopping();
    report_caught_signals();
    // A weather query must not be inside libcurl while the exit cleans up
    // OpenSSL; it has been abandoned since the stop request, in about a second.
    int weather_done = weather_stop(WEATHER_STOP_WAIT_MS);
    // Bounded: a stalled log reader costs the lines still queued, never the stop.
    console_queue_drain();
    // A signal that came while the queue drained; written at once now.
    report_caught_signals();
    log_raw("EXIT sdsbridge\n");
    // A query that outlived its bound may still be inside libcurl: end
    // without the exit's clean-ups, which would free OpenSSL under it.
    if (!weather_done)
        _exit(status);
    return status;
}
} // namespace

int main(int argc, char* argv[])
{
    console_init();
    if (argc > 1 && answer_query(argv[1]))
        return 0;
    // Like sshd -t: only the file is read, before any address list, banner,
    // signal handler, thread, socket, radio port or control file.
    if (argc > 1 && strcmp(argv[1], "--check-config") == 0)
        return check_everything(argc > 2 ? argv[2] : CONFIG_FILE);
    list_addresses();
    print_banner();
    install_sigint_early();
    if (argc > 1 && strcmp(argv[1], "--daemon") == 0) {
        // Keep the working directory: the configuration and fault log live there.
        if (daemon(1, 0) != 0)
            log_raw_failure("daemon failed\n");
        log_raw("sdsbridge started in daemon mode\n");
    }
    if (!install_signal_handlers())
        return 1;
    weather_setup();
    // After daemon(): a thread would not survive its fork.
    console_queue_start();
    if (!read_config(CONFIG_FILE))
        return stop(1);
    struct startup_outcome outcome = start_worker_threads();
    // The threads run from here on, so sds_lfd is not set again (it starts at
    // 16 statically): a transfer begun meanwhile may have advanced it already,
    // and the next one would reuse that transfer's reference.
    if (!keep_running)
        return stop(0);
    service_ready(outcome);
    beacon_loop();
    return stop(0);
}

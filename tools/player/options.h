// The player's command line, built once by main and read by every session.
#pragma once
#include <string>

struct player_options {
    std::string gateway_binary; // empty: attach to a gateway the user runs
    std::string attach_link = "/tmp/radio";
    std::string attach_log;
    double timeout_s = 5; // how long an expectation may take
    bool verbose = false;
    // --save-log: the gateway's console output as it came, into this file
    // (each session's in turn) or, when it names a directory, into NAME.log
    // there for each session NAME. Opened before the player takes its private
    // /tmp, so the log lands in the real one.
    std::string save_log;
    std::string from_log; // --from-log LOG: a session from a console log
    // -o: the session file --from-log or --record writes (empty: --from-log
    // to standard output, --record to radio-YYYYMMDD-HHMMSS.session).
    std::string output;
    // --faketime: libfaketime for the gateway's architecture, preloaded into
    // the gateway of a session with "clock" steps (empty: such sessions are
    // skipped).
    std::string faketime_library;
    int save_log_fd = -1;
    bool save_log_dir = false;
    int load_s = 0;        // --load: seconds of load instead of sessions
    bool ack_load = false; // --load-acks: the load with SYS_CTOM_WAIT=2, measuring acknowledgements
    // The gateway's weather service address (its build option), for "weather-service silent".
    std::string weather_url = "https://api.openweathermap.org/data/2.5/weather?";
    // --record: the radio's port, its speed, the gateway's configuration
    // copied into the session, and a link to the gateway's pseudo-terminal
    // (empty: none).
    std::string record_device;
    int record_speed = 9600;
    std::string record_config = "sdsbridge.conf";
    std::string record_link;
};

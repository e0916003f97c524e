// sdsbridge-session, the session player: reads the options and hands over to
// one of its modes. By default it plays scripted radio sessions
// (tests/sessions/*.session) against the gateway, standing in for the radio,
// the reflector, local programs, the voice gateway and the name and weather
// services, and reports every unmet expectation. With --gateway it starts the
// gateway itself, in a private network and mount namespace with its own /tmp;
// without, it plays against one a user starts. The other modes: --load drives
// the gateway as a busy station, --record relays a real radio and writes what
// passed as a session, --from-log makes a session from a console log, and
// --voice-gateway prints what the gateway writes to its control paths.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "from_log.h"
#include "gateway.h"
#include "load.h"
#include "options.h"
#include "play.h"
#include "recorder.h"
#include "session_file.h"
#include "verbs.h"
#include "voice_gateway.h"

namespace {

constexpr int SKIPPED = 77; // CTest's "skipped" status

const char* const HELP =
    "usage: sdsbridge-session [--gateway PATH] [--link PATH] [--log FILE] [--timeout S] [--verbose] SESSION...\n"
    "       sdsbridge-session --gateway PATH --load SECONDS | --load-acks SECONDS\n"
    "       sdsbridge-session --record DEVICE [--speed BAUD] [-o FILE] [--config FILE] [--link PATH]\n"
    "       sdsbridge-session --from-log LOG [-o FILE]   a session (to edit) from a gateway console log\n"
    "       sdsbridge-session --voice-gateway PATH [--voice-gateway PATH]   stand in for the voice gateway\n"
    "Plays radio sessions against the gateway and reports every unmet expectation.\n"
    "  --gateway PATH  start this gateway for each session, in a private network and\n"
    "                  mount namespace with its own /tmp (status 77 where that is impossible)\n"
    "  --link PATH     without --gateway: the radio's device link (default /tmp/radio)\n"
    "  --log FILE      without --gateway: the gateway's console log, for console lines\n"
    "  --timeout S     seconds an expectation may take (default 5)\n"
    "  --verbose       show every byte, datagram, file write and console line\n"
    "  --save-log FILE with --gateway: also write the gateway's console output, as it came, to FILE\n"
    "                  (each session's in turn), or to NAME.log for each session when FILE is a directory\n"
    "  --load SECONDS  instead of sessions: each second a reflector text and a local request,\n"
    "                  every 10 s a radio text; fails when a radio text is not forwarded\n"
    "                  exactly once or a radio line waits more than 1.5 s to be read\n"
    "  --load-acks SECONDS  the same with SYS_CTOM_WAIT=2; also fails when a radio text's\n"
    "                  acknowledgement waits longer than the transfer in progress, one more and 1 s\n"
    "  --record DEVICE  instead of sessions: relay between the radio on DEVICE (--speed, default\n"
    "                  9600) and a pty for the gateway until SIGINT, writing what passed as a session\n"
    "                  (-o, default radio-YYYYMMDD-HHMMSS.session) with the --config file's lines\n"
    "                  (default sdsbridge.conf); --link PATH links the pty\n"
    "  --faketime LIB  libfaketime for the gateway (libfaketimeMT.so.1), for sessions that step\n"
    "                  its wall clock (\"clock\"); without it they are skipped\n"
    "  --voice-gateway PATH  instead of sessions: make PATH a link to a pty, as the voice gateway\n"
    "                  does, and print each message that arrives there until SIGINT\n"
    "  --weather-url URL  the gateway's weather service address (its build option), for\n"
    "                  \"weather-service silent\" (default https://api.openweathermap.org/...)\n"
    "Session lines (escapes \\r \\n \\t \\0 \\\\ \\xHH; # starts a comment, the first is the title):\n";

// An option that takes a value; false when arg is none of them.
bool take_value(const std::string& arg, const std::string& value, player_options* opt)
{
    if (arg == "--gateway")
        opt->gateway_binary = std::filesystem::absolute(value);
    else if (arg == "--link")
        opt->attach_link = opt->record_link = value;
    else if (arg == "--log")
        opt->attach_log = value;
    else if (arg == "--load" || arg == "--load-acks")
        opt->load_s = atoi(value.c_str()), opt->ack_load = arg == "--load-acks";
    else if (arg == "--faketime")
        opt->faketime_library = value;
    else if (arg == "--weather-url")
        opt->weather_url = value;
    else if (arg == "--timeout")
        opt->timeout_s = atof(value.c_str());
    else if (arg == "--record")
        opt->record_device = value;
    else if (arg == "--speed")
        opt->record_speed = atoi(value.c_str());
    else if (arg == "--config")
        opt->record_config = value;
    else if (arg == "--save-log")
        opt->save_log = value;
    else if (arg == "--from-log")
        opt->from_log = value;
    else if (arg == "-o")
        opt->output = value;
    else if (arg == "--voice-gateway")
        opt->voice_gateway_paths.push_back(value);
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    setvbuf(stdout, nullptr, _IOLBF, 0);
    signal(SIGPIPE, SIG_IGN);
    player_options opt;
    std::vector<session_spec> sessions;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            fputs(HELP, stdout);
            print_verb_help(stdout);
            return 0;
        } else if (arg == "--verbose") {
            opt.verbose = true;
        } else if (has_value && take_value(arg, argv[i + 1], &opt)) {
            i++;
        } else if (arg[0] == '-') {
            fprintf(stderr, "unknown argument %s (try --help)\n", arg.c_str());
            return 2;
        } else {
            sessions.emplace_back();
            if (!load_session(arg, &sessions.back()))
                return 2;
        }
    }
    if (!opt.record_device.empty()) {
        if (!opt.gateway_binary.empty() || !sessions.empty() || opt.load_s > 0) {
            fprintf(stderr, "--record takes no gateway, sessions or load\n");
            return 2;
        }
        return run_recorder(opt);
    }
    if (opt.load_s > 0 && (opt.gateway_binary.empty() || !sessions.empty())) {
        fprintf(stderr, "--load and --load-acks need --gateway and no session files\n");
        return 2;
    }
    if (!opt.from_log.empty())
        return convert_log_file(opt.from_log, opt.output) ? 0 : 2;
    if (!opt.voice_gateway_paths.empty())
        return run_voice_gateway(opt.voice_gateway_paths);
    if (!opt.save_log.empty() && opt.gateway_binary.empty()) {
        fprintf(stderr, "--save-log needs --gateway (with a gateway you run, its output is yours)\n");
        return 2;
    }
    if (!opt.save_log.empty() && !open_saved_log(&opt))
        return 2;
    std::string why;
    if (!opt.gateway_binary.empty() && !isolate(&why)) {
        printf("skipped: no private network and /tmp for the gateway (%s)\n", why.c_str());
        return SKIPPED;
    }
    if (opt.load_s > 0)
        return run_load(opt) ? 0 : 1;
    int count[3] = {};
    for (const session_spec& s : sessions)
        count[play(opt, s)]++;
    printf("%d passed, %d failed", count[PLAY_PASSED], count[PLAY_FAILED]);
    printf(count[PLAY_SKIPPED] ? ", %d skipped\n" : "\n", count[PLAY_SKIPPED]);
    // Skipped as a whole only when nothing was played.
    if (count[PLAY_FAILED])
        return 1;
    return count[PLAY_PASSED] == 0 && count[PLAY_SKIPPED] ? SKIPPED : 0;
}

// The voice gateway's two control paths: the DTMF commands and texts, and the
// transmit state, each written by the rule of control_path.
#include "control/voice_gateway.h"

#include <cstdio>

#include "config/config.h"
#include "control/control_path.h"
#include "util/console.h"

namespace {

// Whether the reader of each path has stopped taking messages; only the
// serial thread writes the paths.
bool dtmf_stalled = false;
bool ptt_stalled = false;

} // namespace

void send_svx_command(const char* logmessage, const char* message, int sleeptimer, void (*pause_s)(int seconds))
{
    log_ts("%s %s %i\n\n", logmessage, message, sleeptimer);
    if (sleeptimer > 0)
        pause_s(sleeptimer);
    write_control(DTMF_CTRL_PATH, message, &dtmf_stalled);
}

void send_svx_ptt(const char* logmessage, const char* message)
{
    log_ts("%s %s\n", logmessage, message);
    write_control(PTT_CTRL_PATH, message, &ptt_stalled);
}

int report_control_paths()
{
    const struct {
        const char* key;
        const char* path;
    } paths[] = {{"DTMF_CTRL_PATH", DTMF_CTRL_PATH}, {"PTT_CTRL_PATH", PTT_CTRL_PATH}};
    int problems = 0;
    log_raw("\n");
    for (const auto& p : paths) {
        char text[1024];
        control_state state = inspect_control(p.path, text, sizeof text);
        problems += state == control_state::refused || state == control_state::fifo_unread;
        log_raw("%s (%s): %s\n", p.path, p.key, text);
    }
    return problems;
}

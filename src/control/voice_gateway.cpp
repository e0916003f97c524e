// Voice gateway control files: whole-file replacement on every write.
#include "control/voice_gateway.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/places.h"
#include "global.h"
#include "util/console.h"

namespace {

// Opens path for writing (truncating it), writes message without any
// terminator and closes it. A file that cannot be opened is skipped with one
// log line; the voice gateway then simply misses this message.
void replace_file(const char* path, const char* message)
{
    FILE* file = fopen(path, "w");
    if (!file) {
        log_ts("Cannot write %s: %s\n", path, strerror(errno));
        return;
    }
    fwrite(message, 1, strlen(message), file);
    fclose(file);
}

} // namespace

void send_svx_command(const char* logmessage, const char* message, int sleeptimer)
{
    log_ts("%s %s %i\n\n", logmessage, message, sleeptimer);
    if (sleeptimer > 0)
        sleep_s(sleeptimer);
    replace_file(DTMF_CTRL_FILE, message);
}

void send_svx_ptt(const char* logmessage, const char* message)
{
    log_ts("%s %s\n", logmessage, message);
    replace_file(PTT_FILE, message);
}

// Voice gateway control files: whole-file replacement on every write.
#include "control/voice_gateway.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/places.h"
#include "util/console.h"

namespace {

// Readable by a voice gateway running under any account.
constexpr mode_t CONTROL_FILE_MODE = 0644;

// Opens path for writing (creating or truncating it), writes message without
// any terminator and closes it. A file that cannot be opened is skipped with
// one log line; the voice gateway then simply misses this message. The files
// live in the world-writable /tmp, where another local user could plant a
// symbolic link to make us overwrite its target: a link is not followed
// (ELOOP, logged like any other refusal).
void replace_file(const char* path, const char* message)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, CONTROL_FILE_MODE);
    if (fd < 0) {
        log_failure("Cannot write %s: %s\n", path, strerror(errno));
        return;
    }
    // The umask may have narrowed the mode of a new file.
    fchmod(fd, CONTROL_FILE_MODE);
    FILE* file = fdopen(fd, "w");
    if (!file) {
        log_failure("Cannot write %s: %s\n", path, strerror(errno));
        close(fd);
        return;
    }
    fwrite(message, 1, strlen(message), file);
    fclose(file);
}

} // namespace

void send_svx_command(const char* logmessage, const char* message, int sleeptimer, void (*pause_s)(int seconds))
{
    log_ts("%s %s %i\n\n", logmessage, message, sleeptimer);
    if (sleeptimer > 0)
        pause_s(sleeptimer);
    replace_file(DTMF_CTRL_FILE, message);
}

void send_svx_ptt(const char* logmessage, const char* message)
{
    log_ts("%s %s\n", logmessage, message);
    replace_file(PTT_FILE, message);
}

// The watch on written files and the safe read of what they hold.
#include "file_watch.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int watch_dir(int fd, const std::string& dir)
{
    return inotify_add_watch(fd, dir.c_str(), IN_CLOSE_WRITE);
}

std::vector<written_file> written_files(int fd)
{
    std::vector<written_file> files;
    alignas(struct inotify_event) char buf[4096];
    ssize_t got = read(fd, buf, sizeof buf);
    for (ssize_t at = 0; at < got;) {
        auto* ev = reinterpret_cast<struct inotify_event*>(buf + at);
        if (ev->len > 0) // the name is NUL-padded to its length
            files.push_back({ev->wd, std::string(ev->name)});
        at += static_cast<ssize_t>(sizeof(struct inotify_event) + ev->len);
    }
    return files;
}

bool read_written_file(const std::string& path, std::string* content)
{
    content->clear();
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    char buf[4096];
    ssize_t got = 0;
    while (regular && content->size() <= WRITTEN_FILE_MAX) {
        got = read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        content->append(buf, static_cast<size_t>(got));
    }
    close(fd);
    if (content->size() > WRITTEN_FILE_MAX) {
        content->resize(WRITTEN_FILE_MAX);
        return false;
    }
    return regular && got == 0;
}

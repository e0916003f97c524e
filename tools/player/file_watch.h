// Files another process writes, watched as the player and the recorder watch
// the voice gateway's control files: inotify on their directory, and a read
// that creates, changes and follows nothing.
#pragma once
#include <string>
#include <vector>

// The voice gateway's control files, as the gateway names them.
constexpr const char* CONTROL_FILES[] = {"/tmp/dtmf_ctrl", "/tmp/ptt"};
// A control file holds one short message; a longer file is not the gateway's.
constexpr size_t WRITTEN_FILE_MAX = 65536;

// A file written and closed: the watch it came on and its name in the directory.
struct written_file {
    int wd;
    std::string name;
};

// Adds an IN_CLOSE_WRITE watch on dir to the inotify instance fd. Returns
// the watch descriptor, or -1 when dir cannot be watched.
int watch_dir(int fd, const std::string& dir);

// The files written and closed, from the events waiting on the (non-blocking)
// inotify instance fd.
std::vector<written_file> written_files(int fd);

// Reads what the file at path holds into content (empty when unread). It is
// opened with O_NOFOLLOW and O_NONBLOCK and read only when it is a regular
// file, so that a link or a FIFO planted in /tmp can neither redirect nor
// hold the reader. Returns true when all of it (up to WRITTEN_FILE_MAX) was read.
bool read_written_file(const std::string& path, std::string* content);

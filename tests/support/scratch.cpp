// The process's scratch directory and the gateway's files moved into it.
#include "support/scratch.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "config/places.h"

namespace {

std::string dir;
pid_t maker = 0;

// Only the maker removes it: a forked child's exit must leave it to its parent.
void remove_dir()
{
    std::error_code ignored;
    if (getpid() == maker)
        std::filesystem::remove_all(dir, ignored);
}

} // namespace

const char* scratch_dir()
{
    if (!dir.empty())
        return dir.c_str();
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/sdsbridge-scratch.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        perror(pattern.c_str());
        abort();
    }
    dir = pattern;
    maker = getpid();
    atexit(remove_dir);
    return dir.c_str();
}

const char* scratch_places()
{
    places_in(scratch_dir());
    return scratch_dir();
}

// Scratch files, and saving the daemon's globals around a test.
#pragma once
#include <cstddef>
#include <cstring>
#include <string>

// Reads a whole file ("" when it does not exist).
std::string read_file(const std::string& path);

// Saves a global of the daemon and puts its value back at the end of the
// scope, so each test leaves the globals as it found them:
//     saved_global keep(SYS_DEBUG); SYS_DEBUG = 1;
template <typename T> struct saved_global {
    T& global;
    T value;
    explicit saved_global(T& g) : global(g), value(g)
    {
    }
    ~saved_global()
    {
        global = value;
    }
};
template <size_t N> struct saved_global<char[N]> {
    char (&global)[N];
    char value[N];
    explicit saved_global(char (&g)[N]) : global(g)
    {
        memcpy(value, g, N);
    }
    ~saved_global()
    {
        memcpy(global, value, N);
    }
};

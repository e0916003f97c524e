// What the fuzz targets share: a check whose failure libFuzzer reports as a
// crash, a quiet console, and the daemon's files and clock moved out of the
// way, so that no input writes the host's control files or waits for real.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// libFuzzer's entry points, which each target defines: its one-time set-up
// (optional) and one run on an input.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size);

// Aborts with what broke when ok is false: libFuzzer then saves the input.
void fuzz_check(bool ok, const char* what);

// Sends the daemon's console lines to /dev/null (libFuzzer reports on
// stderr); set SDSBRIDGE_FUZZ_LOG to keep them when replaying an input.
void fuzz_quiet_console();

// Creates a private scratch directory (under $TMPDIR, else /tmp), removed at
// exit, and points the configuration file, fault log, weather scratch file
// and both voice gateway control files into it. Returns its path.
const char* fuzz_private_places();

// The daemon's time seam: sleeps return at once, and the clock stands at
// 05.12.2025 18:40:00 UTC, so every wait costs nothing and every run of an
// input does the same.
void fuzz_virtual_time();

// The input as text: its bytes up to the first NUL, if any.
std::string fuzz_text(const unsigned char* bytes, size_t size);

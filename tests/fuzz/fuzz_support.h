// What the fuzz targets share: a check whose failure libFuzzer reports as a
// crash, a quiet console, and the input as text. The gateway's files and
// clock are moved out of the way by the tests' scratch set-up and virtual
// clock (scratch_places, virtual_clock_install), so that no input writes the
// host's control files or waits for real.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/scratch.h"
#include "support/virtual_clock.h"

// libFuzzer's entry points, which each target defines: its one-time set-up
// (optional) and one run on an input.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size);

// Aborts with what broke when ok is false: libFuzzer then saves the input.
void fuzz_check(bool ok, const char* what);

// Sends the daemon's console lines to /dev/null (libFuzzer reports on
// stderr); set SDSBRIDGE_FUZZ_LOG to keep them when replaying an input.
void fuzz_quiet_console();

// The input as text: its bytes up to the first NUL, if any.
std::string fuzz_text(const unsigned char* bytes, size_t size);

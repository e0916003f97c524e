// Capturing what the daemon prints: stdout goes to a scratch file between
// begin and end, so a test can compare console lines.
#pragma once
#include <string>

// Starts sending stdout to a scratch file.
void capture_stdout_begin();
// Restores stdout and returns everything printed since capture_stdout_begin.
std::string capture_stdout_end();

// Playing one session file against the gateway.
#pragma once
#include "options.h"
#include "session_file.h"

// Plays script with a fresh session; prints what failed and PASS or FAIL, and
// returns true when every expectation was met.
bool play(const player_options& opt, const session_spec& script);

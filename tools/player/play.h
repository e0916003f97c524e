// Playing one session file against the gateway.
#pragma once
#include "options.h"
#include "session_file.h"

enum play_outcome { PLAY_PASSED, PLAY_FAILED, PLAY_SKIPPED };

// Plays script with a fresh session; prints what failed and PASS or FAIL
// (PLAY_PASSED when every expectation was met), or SKIP with the reason when
// this player cannot play it here.
play_outcome play(const player_options& opt, const session_spec& script);

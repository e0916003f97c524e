// Playing one session file against the gateway.
#pragma once
#include "options.h"
#include "session_file.h"

enum play_result { PLAY_PASSED, PLAY_FAILED, PLAY_SKIPPED };

// Plays script with a fresh session; prints what failed and PASS or FAIL, and
// whether every expectation was met. A session that this player cannot play
// here (a "requires" line that does not hold, a "clock" step without
// libfaketime) is not played: SKIP and the reason.
play_result play(const player_options& opt, const session_spec& script);

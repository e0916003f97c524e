// The load driver: the gateway as a busy station for a while, instead of a
// session file.
#pragma once
#include "options.h"

// Runs the load for opt.load_s seconds (the acknowledgement form with
// opt.ack_load); prints its figures and PASS or FAIL, and returns true when
// every radio text was forwarded once and no radio line waited too long.
bool run_load(const player_options& opt);

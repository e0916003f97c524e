// Initialisation sequences that put each radio model into the gateway's
// working mode (stored profile, echo on, operating mode, SDS routing).
#pragma once

// Each writes its model's commands, every one followed by a wait for the
// answer. The caller has the serial line to itself (radio/turns.h).
void mtm_init();     // MTM5400: twelve commands
void mtm800e_init(); // MTM800e: three commands
void cm5000_init();  // CM5000 and CM5000A: eight commands

// Whether the configured model has an initialisation sequence (MTM5400,
// MTM800e, CM5000, CM5000A); the other models need none.
bool radio_needs_init();
// Commands in the configured model's sequence, each with its wait of up to 1 s.
int init_commands();
// Runs the sequence the model flags select (MTM5400, else MTM800e, else
// CM5000/CM5000A, else nothing). The caller has the serial line.
void init_sequence();

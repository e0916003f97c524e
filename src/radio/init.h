// Initialisation sequences that put each radio model into the gateway's
// working mode (stored profile, echo on, operating mode, SDS routing).
#pragma once

// Each writes its model's commands, every one followed by a wait for the
// answer. The caller holds the serial write lock.
void mtm_init();     // MTM5400: twelve commands
void mtm800e_init(); // MTM800e: three commands
void cm5000_init();  // CM5000 and CM5000A: eight commands

// Runs the sequence the model flags select (MTM5400, else MTM800e, else
// CM5000/CM5000A, else nothing: the other models need none), holding the
// serial write lock from the first command to the last wait.
void init_radio();
// The same for the serial thread, only when the lock is free at once: false,
// and nothing sent, while another thread's transfer holds it.
bool try_init_radio();

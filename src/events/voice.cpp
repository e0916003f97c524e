// Voice activity tracking.
#include "events/handlers.h"

void handle_ptt_on() {}
void handle_ptt_off() {}

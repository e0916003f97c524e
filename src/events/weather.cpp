// Weather reply.
#include "events/handlers.h"

void handle_weather() {}

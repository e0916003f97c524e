// Position report decoding.
#include "events/handlers.h"

void handle_position() {}

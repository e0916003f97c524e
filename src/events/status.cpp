// Status SDS handling.
#include "events/handlers.h"

void handle_status() {}

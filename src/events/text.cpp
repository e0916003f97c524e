// Text SDS reception.
#include "events/handlers.h"

void handle_personal_text() {}
void handle_group_text() {}
void handle_confirmation() {}

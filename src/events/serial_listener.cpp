// The serial thread.
#include "events/serial_listener.h"

void* serial_listener(void*)
{
    return nullptr;
}

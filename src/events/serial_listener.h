// The serial thread: port set-up, radio initialisation and the line dispatcher.
#pragma once

// Thread body; dummy is unused. Returns null when keep_running falls.
void* serial_listener(void* dummy);

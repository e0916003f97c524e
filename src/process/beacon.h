// The beacon loop the main thread becomes: a one-second tick that sends the
// keepalive every 6 seconds (first after the fifth tick) and the position
// beacon every hour (first in the sixtieth tick), until keep_running falls.
#pragma once

void beacon_loop();

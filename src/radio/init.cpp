// Radio initialisation sequences.
#include "radio/init.h"

void mtm_init() {}
void mtm800e_init() {}
void cm5000_init() {}
void init_radio() {}

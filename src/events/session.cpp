// Storage of the radio session state.
#include "events/session.h"

int run;
int sds;
int ptt;
int msg;
char CALL[CALL_SIZE];
char CALL_ID[ISSI_FIELD_SIZE];
int sdslength;
long long lastgps;
char data[DATA_SIZE];

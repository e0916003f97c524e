// Fixed files and ports of the gateway.
#include "config/places.h"

const char* CONFIG_FILE = "sdsbridge.conf";
const char* FAULT_LOG_FILE = "error.txt";
const char* QUERY_FILE = "query.txt";
const char* DTMF_CTRL_FILE = "/tmp/dtmf_ctrl";
const char* PTT_FILE = "/tmp/ptt";
const char* SMS_SENDER_IP = "127.0.0.1";
int SMS_SENDER_PORT = 54001;

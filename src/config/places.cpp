// Fixed files and ports of the gateway.
#include "config/places.h"

#include <string>

const char* CONFIG_FILE = "sdsbridge.conf";
const char* FAULT_LOG_FILE = "error.txt";
const char* QUERY_FILE = "query.txt";
const char* DTMF_CTRL_FILE = "/tmp/dtmf_ctrl";
const char* PTT_FILE = "/tmp/ptt";
const char* SMS_SENDER_IP = "127.0.0.1";
int SMS_SENDER_PORT = 54001;

void places_in(const char* dir)
{
    // The places point into these; they live as long as the process.
    static std::string config, fault_log, query, dtmf, ptt;
    std::string base(dir);
    config = base + "/sdsbridge.conf";
    fault_log = base + "/error.txt";
    query = base + "/query.txt";
    dtmf = base + "/dtmf_ctrl";
    ptt = base + "/ptt";
    CONFIG_FILE = config.c_str();
    FAULT_LOG_FILE = fault_log.c_str();
    QUERY_FILE = query.c_str();
    DTMF_CTRL_FILE = dtmf.c_str();
    PTT_FILE = ptt.c_str();
}

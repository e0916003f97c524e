// Fixed files and ports of the gateway.
#include "config/places.h"

#include <string>

#include "config/config.h"
#include "util/text.h"

const char* CONFIG_FILE = "sdsbridge.conf";
const char* FAULT_LOG_FILE = "error.txt";
const char* QUERY_FILE = "query.txt";
const char DTMF_CTRL_DEFAULT[] = "/tmp/dtmf_ctrl";
const char PTT_CTRL_DEFAULT[] = "/tmp/ptt";
const char* SMS_SENDER_IP = "127.0.0.1";
int SMS_SENDER_PORT = 54001;

void places_in(const char* dir)
{
    // The places point into these; they live as long as the process.
    static std::string config, fault_log, query;
    std::string base(dir);
    config = base + "/sdsbridge.conf";
    fault_log = base + "/error.txt";
    query = base + "/query.txt";
    CONFIG_FILE = config.c_str();
    FAULT_LOG_FILE = fault_log.c_str();
    QUERY_FILE = query.c_str();
    copy_field(DTMF_CTRL_PATH, (base + "/dtmf_ctrl").c_str());
    copy_field(PTT_CTRL_PATH, (base + "/ptt").c_str());
}

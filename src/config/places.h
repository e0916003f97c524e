// The fixed files and ports the gateway uses, in one place so that tests can
// point them elsewhere. The daemon itself never changes them.
#pragma once

extern const char* CONFIG_FILE;        // "sdsbridge.conf", in the working directory
extern const char* FAULT_LOG_FILE;     // "error.txt", in the working directory
extern const char* QUERY_FILE;         // "query.txt", the weather answer scratch file
extern const char DTMF_CTRL_DEFAULT[]; // "/tmp/dtmf_ctrl": DTMF_CTRL_PATH unless the file sets it
extern const char PTT_CTRL_DEFAULT[];  // "/tmp/ptt": PTT_CTRL_PATH unless the file sets it
extern const char* SMS_SENDER_IP;      // "127.0.0.1": the local SDS request port
extern int SMS_SENDER_PORT;            // 54001

// Points every file above, and the two control paths, into dir (its own
// scratch directory), for programs that run the gateway's code away from a
// station's real files: benchmarks and fuzz targets. The daemon never calls it.
void places_in(const char* dir);

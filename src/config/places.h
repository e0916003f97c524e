// The fixed files and ports the gateway uses, in one place so that tests can
// point them elsewhere. The daemon itself never changes them.
#pragma once

extern const char* CONFIG_FILE;    // "sdsbridge.conf", in the working directory
extern const char* FAULT_LOG_FILE; // "error.txt", in the working directory
extern const char* QUERY_FILE;     // "query.txt", the weather answer scratch file
extern const char* DTMF_CTRL_FILE; // "/tmp/dtmf_ctrl", read by the voice gateway
extern const char* PTT_FILE;       // "/tmp/ptt", read by the voice gateway
extern const char* SMS_SENDER_IP;  // "127.0.0.1": the local SDS request port
extern int SMS_SENDER_PORT;        // 54001

// Points every file above into dir (its own scratch directory), for programs
// that run the gateway's code away from a station's real files: benchmarks
// and fuzz targets. The daemon never calls it.
void places_in(const char* dir);

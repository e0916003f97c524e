// The gateway's settings: read once from "sdsbridge.conf" at start, then only
// read by every thread. Each string setting is a fixed-width field (width + NUL).
#pragma once
#include <climits>

// Integer settings.
extern int REFLECTOR_PORT; // UDP port of the reflector server
extern int SYS_DEBUG;      // non-zero adds detail lines to the console log
extern int SYS_SERBAUD;    // serial line speed, bit/s
extern int SYS_CTOM_WAIT;  // seconds of pause inside SDS transfers

// String settings, widths as the configuration file reference gives them.
extern char SYS_HARDWARE[51];
extern char SYS_SERPORT[51];
extern char GATEWAY_CALL[21];
extern char GATEWAY_COMMENT[51];
extern char GATEWAY_ID[11];
extern char GATEWAY_LAT[21];
extern char GATEWAY_LON[21];
extern char DMO_REPEATER[6];
extern char REFLECTOR_DNS[101];
extern char CITY[51];
extern char ZIP[51];
extern char COUNTRY[51];
extern char REFLECTOR_ONLY[6]; // "YES": port 5230 serves the reflector's address only
// The voice gateway's DTMF and PTT control paths. As wide as any path the
// kernel takes, so a path is never cut: a cut one would be another path.
extern char DTMF_CTRL_PATH[PATH_MAX];
extern char PTT_CTRL_PATH[PATH_MAX];

// Radio model flags: each set when SYS_HARDWARE is exactly its name.
extern bool CM5000, CM5000A, MTM5400, MTM800FuG, MTM800e, MTP850FuG, MTP850S, SRG3900;

// Current activity, written into each fault log entry.
extern char funktion_print[100];

// Built-in settings the file cannot change.
extern const char TETRAMASTER[14]; // network name put in front of texts to radios
extern char SOCK_UDP_IP[8];        // where the reflector socket is bound
extern int SOCK_UDP_PORT;          // 5230: the gateway sends from and listens on it
extern char BASE_URL[49];          // weather service address, ends in "/data/2.5/weather?"
extern char API_KEY[33];           // weather service key, 32 lowercase hex characters;
                                   // WEATHER_API_KEY in the file replaces it

// Restores every default, reads cfgFile and looks REFLECTOR_DNS up
// (REFLECTOR_IP of config/reflector_address.h). Returns 1 when the file was
// read and the name resolved, or the lookup could not be made (REFLECTOR_IP
// is then 0, said in one line); 0 when the file cannot be opened or the name
// does not exist.
int read_config(const char* cfgFile);

// True when DMO_REPEATER asks for the DMO repeater mode (exactly "YES").
bool dmo_repeater_on();

// True when REFLECTOR_ONLY is exactly "YES": datagrams on port 5230 from any
// other address than REFLECTOR_IP are dropped unread (all of them while it is
// not known).
bool reflector_only_on();

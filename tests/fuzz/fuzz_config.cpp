// Fuzz target: the configuration reader on the input as "sdsbridge.conf".
// The file gets one more line, "REFLECTOR_DNS=127.0.0.1": a later key wins,
// so the reader's look-up of the reflector never leaves the process.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config/config.h"
#include "config/places.h"
#include "config/reflector_address.h"
#include "fuzz_support.h"

namespace {

constexpr char LOOPBACK_REFLECTOR[] = "\nREFLECTOR_DNS=127.0.0.1\n";

template <size_t N> bool terminated(const char (&field)[N])
{
    return strnlen(field, N) < N;
}

bool all_terminated()
{
    return terminated(SYS_HARDWARE) && terminated(SYS_SERPORT) && terminated(GATEWAY_CALL) &&
           terminated(GATEWAY_COMMENT) && terminated(GATEWAY_ID) && terminated(GATEWAY_LAT) &&
           terminated(GATEWAY_LON) && terminated(DMO_REPEATER) && terminated(REFLECTOR_DNS) && terminated(CITY) &&
           terminated(ZIP) && terminated(COUNTRY) && terminated(REFLECTOR_ONLY) && terminated(DTMF_CTRL_PATH) &&
           terminated(PTT_CTRL_PATH) && terminated(API_KEY);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_console();
    scratch_places();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FILE* file = fopen(CONFIG_FILE, "wb");
    fuzz_check(file != nullptr, "the scratch configuration file can be written");
    fwrite(bytes, 1, size, file);
    fputs(LOOPBACK_REFLECTOR, file);
    fclose(file);

    fuzz_check(read_config(CONFIG_FILE) == 1, "the file is read and the reflector resolved");
    fuzz_check(REFLECTOR_IP.load() == htonl(INADDR_LOOPBACK), "the last REFLECTOR_DNS wins");
    fuzz_check(all_terminated(), "every text setting fits its width");
    fuzz_check(strlen(API_KEY) == 32 && strspn(API_KEY, "0123456789abcdef") == 32,
               "the weather key is 32 lowercase hex characters");
    return 0;
}

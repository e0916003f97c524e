// Fuzz target: a datagram on the reflector port, read as the reflector
// listener reads it: reflector_message_parse, then for a personal SDS the
// ISSI check that guards AT+CMGS.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "net/reflector_messages.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz_quiet_console();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    struct reflector_request request;
    memset(&request, 0x55, sizeof request); // no field may keep what was there
    int due = reflector_message_parse(reinterpret_cast<const char*>(bytes), size, &request);
    fuzz_check(due == (request.kind != REFLECTOR_SDS_NONE), "the result says whether an SDS is due");
    fuzz_check(strnlen(request.sbuff, sizeof request.sbuff) < sizeof request.sbuff, "the text is terminated");
    fuzz_check(strnlen(request.issi, sizeof request.issi) < sizeof request.issi, "the ISSI is terminated");
    // Bytes behind the received ones (a longer earlier datagram in the same
    // buffer) change nothing.
    std::string padded(reinterpret_cast<const char*>(bytes), size);
    padded.append(40, ':');
    struct reflector_request again;
    fuzz_check(reflector_message_parse(padded.data(), size, &again) == due && strcmp(again.sbuff, request.sbuff) == 0 &&
                   strcmp(again.issi, request.issi) == 0,
               "only the received bytes count");
    if (request.kind == REFLECTOR_SDS_PERSONAL && issi_accepted(request.issi, false)) {
        size_t digits = strspn(request.issi, "0123456789");
        fuzz_check(digits >= 1 && digits <= 8 && request.issi[digits] == '\0', "an accepted ISSI is 1 to 8 digits");
    }
    return 0;
}

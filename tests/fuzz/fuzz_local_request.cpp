// Fuzz target: a datagram on the local SDS request port, read as its thread
// reads it: local_request_parse, then the ISSI check of the padded field.
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
    struct local_request request;
    memset(&request, 0x55, sizeof request); // no field may keep what was there
    local_request_parse(reinterpret_cast<const char*>(bytes), size, &request);
    fuzz_check(strnlen(request.call_id_nr, sizeof request.call_id_nr) == LOCAL_ISSI_WIDTH,
               "the ISSI field is seven characters");
    fuzz_check(strnlen(request.call_message, sizeof request.call_message) < sizeof request.call_message,
               "the text is terminated");
    // Bytes behind the received ones (a longer earlier request in the same
    // buffer) change nothing.
    std::string padded(reinterpret_cast<const char*>(bytes), size);
    padded.append(40, 'x');
    struct local_request again;
    local_request_parse(padded.data(), size, &again);
    fuzz_check(strcmp(again.call_id_nr, request.call_id_nr) == 0 &&
                   strcmp(again.call_message, request.call_message) == 0,
               "only the received bytes count");
    if (issi_accepted(request.call_id_nr, true)) {
        size_t digits = strspn(request.call_id_nr, "0123456789");
        size_t blanks = strspn(request.call_id_nr + digits, " ");
        fuzz_check(digits >= 1 && request.call_id_nr[digits + blanks] == '\0',
                   "an accepted ISSI field is digits and padding");
    }
    return 0;
}

// Fuzz target: the weather service's answer scan (format_weather_reply) on the
// input as the answer, with a city of the setting's full width. The reply
// goes into a buffer the size of the push slot, exactly, on the heap.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "events/session.h"
#include "events/weather.h"
#include "fuzz_support.h"

namespace {

// CITY holds 50 characters.
constexpr char WIDEST_CITY[] = "Sankt Valentin auf der Haide im oberen Vinschgau X";
static_assert(sizeof WIDEST_CITY == 51);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    std::vector<char> reply(DATA_SIZE);
    format_weather_reply(reinterpret_cast<const char*>(bytes), size, WIDEST_CITY, reply.data(), reply.size());
    size_t length = strnlen(reply.data(), reply.size());
    fuzz_check(length < reply.size(), "the reply is terminated");
    fuzz_check(strncmp(reply.data(), "city:", 5) == 0, "the reply names the city first");
    return 0;
}

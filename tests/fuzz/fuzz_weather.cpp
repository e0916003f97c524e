// Fuzz target: the weather service's answer read (weather_parse) on the input
// as the answer, and the reply made of it with a city of the setting's full
// width. The reply goes into a buffer the size of the push slot, exactly, on
// the heap.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "events/session.h"
#include "formats/weather_reply.h"
#include "fuzz_support.h"

namespace {

// CITY holds 50 characters.
constexpr char WIDEST_CITY[] = "Sankt Valentin auf der Haide im oberen Vinschgau X";
static_assert(sizeof WIDEST_CITY == 51);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    std::vector<char> reply(DATA_SIZE);
    weather_reading reading;
    int read = weather_parse(reinterpret_cast<const char*>(bytes), size, &reading);
    format_weather_reply(read ? &reading : nullptr, WIDEST_CITY, reply.data(), reply.size());
    size_t length = strnlen(reply.data(), reply.size());
    fuzz_check(length < reply.size(), "the reply is terminated");
    fuzz_check(strncmp(reply.data(), "city:", 5) == 0, "the reply names the city first");
    return 0;
}

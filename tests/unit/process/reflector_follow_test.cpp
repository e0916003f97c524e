// Following the reflector's address: what each lookup's outcome does to the
// address every thread sends to, and the lines it says.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "process/reflector_follow.h"
#include "support/stdout_capture.h"
#include "support/virtual_clock.h"
#include "util/text.h"

namespace {

constexpr lookup_outcome FOUND = lookup_outcome::found;
constexpr lookup_outcome NONAME = lookup_outcome::no_such_name;
constexpr lookup_outcome AGAIN = lookup_outcome::no_answer;

struct lookup {
    lookup_outcome outcome;
    const char* address; // found: the answer
};

struct follow_case {
    const char* name;
    const char* at_start; // "" for a start without an answer
    std::vector<lookup> lookups;
    const char* lines; // timestamps removed
    const char* after; // the address then, "" for none
};

// The output with every console prefix of the still virtual clock removed.
std::string without_stamps(std::string out)
{
    for (size_t at; (at = out.find(console_prefix())) != std::string::npos;)
        out.erase(at, console_prefix().size());
    return out;
}

in_addr_t ip(const char* dotted)
{
    return *dotted ? inet_addr(dotted) : 0;
}

TEST(ReflectorFollow, AddressAndLinesOverLookups)
{
    const follow_case cases[] = {
        {"the same answer says nothing", "10.0.0.1", {{FOUND, "10.0.0.1"}, {FOUND, "10.0.0.1"}}, "", "10.0.0.1"},
        {"a move is used and said once",
         "10.0.0.1",
         {{FOUND, "10.0.0.2"}, {FOUND, "10.0.0.2"}},
         "REFLECTOR_DNS reflector.test: address changed from 10.0.0.1 to 10.0.0.2\n",
         "10.0.0.2"},
        {"a spell of failures keeps the address, one line",
         "10.0.0.1",
         {{AGAIN, ""}, {AGAIN, ""}, {FOUND, "10.0.0.1"}, {AGAIN, ""}},
         "REFLECTOR_DNS reflector.test: no answer (why), keeping 10.0.0.1\n"
         "REFLECTOR_DNS reflector.test: no answer (why), keeping 10.0.0.1\n",
         "10.0.0.1"},
        {"a failure that changes its kind is said again",
         "10.0.0.1",
         {{AGAIN, ""}, {NONAME, ""}, {NONAME, ""}},
         "REFLECTOR_DNS reflector.test: no answer (why), keeping 10.0.0.1\n"
         "REFLECTOR_DNS reflector.test: no such name (why), keeping 10.0.0.1\n",
         "10.0.0.1"},
        {"a start without an answer: its spell goes on, the first answer as at start",
         "",
         {{AGAIN, ""}, {NONAME, ""}, {FOUND, "10.0.0.3"}},
         "REFLECTOR_DNS reflector.test: no such name (why), still without the reflector\n"
         "REFLECTOR_IP:10.0.0.3\n",
         "10.0.0.3"},
    };
    virtual_clock_scope clock;
    copy_field(REFLECTOR_DNS, "reflector.test");
    for (const follow_case& c : cases) {
        REFLECTOR_IP = ip(c.at_start);
        reflector_follow_start();
        capture_stdout_begin();
        for (const lookup& l : c.lookups)
            reflector_follow(l.outcome, ip(l.address), "why");
        std::string out = capture_stdout_end();
        EXPECT_EQ(without_stamps(out), c.lines) << c.name;
        EXPECT_EQ(REFLECTOR_IP.load(), ip(c.after)) << c.name;
    }
    REFLECTOR_IP = 0;
}

} // namespace

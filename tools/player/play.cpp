// Playing one session: its steps in order, each expectation waited for.
#include "play.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "gateway.h"
#include "session.h"
#include "steps.h"

namespace {

double expect_exit(session* s, const line_spec& l, double deadline)
{
    if (s->opt->gateway_binary.empty())
        return now_s();
    wait_until(
        s, [s] { return s->rec.exit_status >= 0; }, deadline);
    if (s->rec.exit_status < 0)
        fail(s, l.number, "the gateway is still running");
    else if (std::to_string(s->rec.exit_status) != l.text)
        fail(s, l.number, "the gateway ended with status " + std::to_string(s->rec.exit_status));
    return now_s();
}

// "never": waits out l's time, then looks at what came meanwhile.
double check_never(session* s, const line_spec& l, double previous)
{
    double until = previous + l.after;
    wait_until(
        s, [] { return false; }, until);
    std::vector<finding> found;
    expect_none(s->rec, l, previous, &found);
    fail_all(s, found);
    return until;
}

// Waits for expectation l; returns when it was met (the time its line comes
// to be measured from for the next line).
double check(session* s, const line_spec& l, double since, double previous)
{
    if (l.never)
        return check_never(s, l, previous);
    double deadline = now_s() + s->opt->timeout_s;
    if (l.after >= 0)
        deadline = std::max(deadline, previous + l.after + LATE_S);
    if (l.verb == verb_id::console && s->opt->gateway_binary.empty() && s->opt->attach_log.empty())
        return previous; // no console to look at
    double at = -1;
    std::vector<finding> found;
    if (l.verb == verb_id::exit) {
        at = expect_exit(s, l, deadline);
    } else if (!wait_until(
                   s, [&] { return (at = expect(&s->rec, l, since, false, &found, s->script->only_named)) >= 0; },
                   deadline)) {
        at = expect(&s->rec, l, since, true, &found, s->script->only_named);
    }
    check_timing(l, at, previous, &found);
    fail_all(s, found);
    return at >= 0 ? at : now_s();
}

void play_lines(session* s)
{
    double previous = now_s(), since = previous;
    bool in_steps = false;
    for (const line_spec& l : s->script->lines) {
        if (is_step(l)) {
            if (!in_steps) {
                // Whatever the gateway did before these steps is read and
                // stamped first, so it cannot pass for their effect.
                pump(s, 0);
                since = now_s();
            }
            in_steps = true;
            do_step(s, l);
            previous = now_s();
        } else {
            in_steps = false;
            previous = check(s, l, since, previous);
        }
    }
}

// A session that steps the gateway's wall clock needs the gateway started
// here, with libfaketime for its architecture.
bool can_play(const player_options& opt, const session_spec& script, std::string* why)
{
    if (!script.steps_clock)
        return true;
    if (opt.gateway_binary.empty())
        *why = "\"clock\" steps only a gateway the player starts (--gateway)";
    else if (opt.faketime_library.empty())
        *why = "\"clock\" needs libfaketime for the gateway (--faketime)";
    else if (access(opt.faketime_library.c_str(), R_OK) != 0)
        *why = "\"clock\" needs libfaketime: " + opt.faketime_library + ": " + strerror(errno);
    else
        return true;
    return false;
}

} // namespace

play_result play(const player_options& opt, const session_spec& script)
{
    session s;
    session_begin(&s, opt, script);
    printf("%s: %s\n", script.file.c_str(), script.title.c_str());
    if (!can_play(opt, script, &s.skipped) || !requirements_met(&s)) {
        printf("SKIP %s: %s\n", script.file.c_str(), s.skipped.c_str());
        fflush(stdout);
        session_release(&s);
        return PLAY_SKIPPED;
    }
    s.reflector_fd = bind_udp(s, reflector_port(script));
    bool started = s.reflector_fd >= 0 && (opt.gateway_binary.empty() ? attach(&s) : start_gateway(&s));
    if (started) {
        play_lines(&s);
        if (!opt.gateway_binary.empty())
            stop_gateway(&s);
        std::vector<finding> found;
        leftovers(&s.rec, &found, script.only_named);
        fail_all(&s, found);
    } else {
        s.failures++;
    }
    session_release(&s);
    printf("%s %s\n", s.failures ? "FAIL" : "PASS", script.file.c_str());
    fflush(stdout);
    return s.failures ? PLAY_FAILED : PLAY_PASSED;
}

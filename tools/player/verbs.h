// The words a session file's lines begin with, in one table: the parser reads
// what each takes from it, the player whether it performs or waits for it,
// and --help its usage.
#pragma once
#include <cstdio>
#include <string>

enum class verb_id {
    // header words: the session's set-up, wherever they stand
    config,
    args,
    no_config,
    hold_port,
    env,
    journal,
    weather_service,
    voice_gateway,
    needs, // "requires"
    hosts,
    name_server,
    only_named,
    reply,
    // prefixes of the line they stand before
    repeat,
    after,
    within,
    never,
    // steps: what the radio, the reflector, local programs and the user do
    radio,
    radio_bytes,
    reflector,
    local,
    reflector_from,
    answer,
    wait,
    signal,
    unplug,
    plug,
    put,
    link,
    terminal,
    fifo,
    reader,
    owner,
    stdout_flow, // "stdout"
    radio_output,
    reflector_at,
    clock,
    // expectations: what the gateway does
    sent,
    datagram,
    file,
    console,
    exit,
    notify,
};

enum class verb_kind { header, prefix, step, expectation };

// Whether the word after the verb is a path (or for reflector-from, an address).
enum class path_word { none, optional, required };

struct verb_info {
    verb_id id;
    const char* name;
    verb_kind kind;
    path_word path;
    const char* choices; // the words its argument may be, "|" between ("" among them: none); nullptr: any text
    const char* refusal; // the error for another argument
    const char* usage;   // --help: the line as written
    const char* help;    // --help: what it does
};

// The row of the verb named name, or nullptr for none.
const verb_info* find_verb(const std::string& name);

// The row of id (every id has one).
const verb_info& verb_row(verb_id id);

// True when text is one of the row's choices (or the row takes any text).
bool verb_takes(const verb_info& v, const std::string& text);

// Writes the session lines' part of --help to out, one line per verb.
void print_verb_help(FILE* out);

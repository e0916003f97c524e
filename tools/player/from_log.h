// A session from a gateway's console log (--from-log): the radio's lines
// become radio steps, the reflector's commands reflector steps, and what the
// log shows the gateway doing (forwards, reports, control-file writes, the
// commands a radio with echo on repeats) becomes expectations. What a log
// cannot show is left as comments for the person who edits the session.
#pragma once
#include <string>

// The session text for log, the bytes the gateway wrote on stdout (each line
// normally behind its "<07.12.26 14:03:59> " timestamp, or a journal priority
// and one). name: the log's name, for the title. Pure: reads no file.
std::string session_from_log(const std::string& log, const std::string& name);

// Reads log_file and writes its session to out_file (empty: stdout); true on
// success, false after printing why on stderr.
bool convert_log_file(const std::string& log_file, const std::string& out_file);

// The escapes the companion tools share, so that a text typed at the radio
// simulator, given to the reflector tool or written in a session file means
// the same bytes everywhere; and the hex text of SDS payloads.
#pragma once
#include <string>

// Replaces \r \n \t \0 \\ and \xHH by the bytes they name; an unknown escape
// gives the character after the backslash.
std::string unescape(const std::string& in);

// The inverse for display: CR, LF, tab, NUL, backslash, other control characters
// and bytes above 0x7E shown as escapes, so a reported text can be pasted back.
std::string visible(const std::string& bytes);

// visible, and a trailing blank as \x20 too: the text of a session file line,
// which an editor trimming line ends cannot change.
std::string session_text(const std::string& bytes);

// Each byte as two uppercase hex digits, high nibble first, as SDS payloads
// travel on the PEI.
std::string hex_bytes(const std::string& bytes);

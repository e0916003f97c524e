// Expected radio-line bytes, built independently of the code under test.
#pragma once
#include <string>

// Uppercase hex digits of every byte of text.
std::string hex_of(const std::string& text);

// The bytes a text SDS transfer puts on the radio line: "AT+CTSDS=12,0\r",
// "AT+CMGS=<to>,<bits>\r", the PDU with reference lfd and Ctrl-Z. An empty
// "to" is a group text (identity 1). With repeater, wrapped in the switch to
// operating mode 1 and back to 6.
std::string expected_transfer(const std::string& to, const std::string& text, unsigned lfd, bool repeater = false);

// The SDS payloads the radio simulator sends for a radio user: the two
// position report formats and the voice caller's identity.
#pragma once
#include <string>

// LIP short location report: the protocol identifier and the report the
// "+CTSDSR:" header counts (the pad to whole bytes is not counted).
constexpr int LIP_PI_BITS = 8;
constexpr int LIP_SHORT_BITS = 76;

// Position report "03 80 13" at lat/lon (decimal degrees), with the course
// byte when has_course.
std::string position_payload(double lat, double lon, bool has_course, double course);

// LIP short location report at lat/lon (decimal degrees) heading course, as a
// GPS fix sends it, padded to whole bytes.
std::string lip_payload(double lat, double lon, double course);

// The last seven digits of issi, zero-padded on the left.
std::string seven_digits(const std::string& issi);

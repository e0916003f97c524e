// The ISSI, a radio's TETRA identity, as the gateway keeps it: decimal text.
#pragma once

// Every field that keeps an ISSI: 19 characters and the NUL. An identity has
// at most eight digits; the room beyond keeps a longer field from the radio
// long enough that the checks see it is no identity, instead of a cut that
// could look like one.
constexpr int ISSI_FIELD_SIZE = 20;

// sdsbridge --check-config: what the gateway would make of a configuration
// file, told line by line, for the operator who wants to know before a start.
#pragma once

// Reads cfgFile with the gateway's own reader (the settings globals are then
// those of the file) and prints one line per finding, in file order, as
// "FILE:LINE: text", then a blank line and the effective configuration, the
// weather key masked as at start-up. Nothing else starts.
// Returns 0 when nothing was found; 1 when the gateway would refuse to start
// (the file cannot be opened, REFLECTOR_DNS does not exist); 2 when it would
// start but something was found, a lookup of REFLECTOR_DNS that could not be
// made (no network, no name server) included. *opened tells whether the file
// was read.
int check_config(const char* cfgFile, bool* opened);

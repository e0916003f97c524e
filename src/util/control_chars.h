// The control characters of the PEI: every radio line ends in CR (LF bytes
// are dropped), and an SDS PDU typed after AT+CMGS ends in Ctrl-Z.
#pragma once

constexpr char CR = '\r';
constexpr char LF = '\n';
constexpr char CTRL_Z = 26;

// Word splitting for the tools' typed and scripted command lines.
#pragma once
#include <string>

// Splits off the first blank-separated word of *rest: leading blanks are
// skipped, and *rest keeps what follows the one blank after the word (so a
// text argument keeps its own leading blanks). "" when no word is left.
std::string next_word(std::string* rest);

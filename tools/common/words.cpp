// Word splitting for the tools' command lines.
#include "words.h"

std::string next_word(std::string* rest)
{
    size_t start = rest->find_first_not_of(' ');
    if (start == std::string::npos) {
        rest->clear();
        return "";
    }
    size_t end = rest->find(' ', start);
    std::string word = rest->substr(start, end == std::string::npos ? std::string::npos : end - start);
    *rest = end == std::string::npos ? "" : rest->substr(end + 1);
    return word;
}

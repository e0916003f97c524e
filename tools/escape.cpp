// Escapes shared by the companion tools.
#include "escape.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

std::string unescape(const std::string& in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        char c = in[++i];
        if (c == 'r')
            out += '\r';
        else if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == '0')
            out += '\0';
        else if (c == 'x' && i + 2 < in.size() && isxdigit(static_cast<unsigned char>(in[i + 1])) &&
                 isxdigit(static_cast<unsigned char>(in[i + 2]))) {
            out += static_cast<char>(strtol(in.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
        } else
            out += c; // "\\" and unknown escapes give the character itself
    }
    return out;
}

std::string visible(const std::string& bytes)
{
    std::string out;
    char esc[8];
    for (unsigned char c : bytes) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else if (c < 0x20 || c > 0x7E) {
            snprintf(esc, sizeof esc, "\\x%02X", c);
            out += esc;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

// Escapes and hex text shared by the companion tools.
#include "escape.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

// The one-letter escapes, read and written alike.
struct letter_escape {
    char letter;
    char byte;
};
constexpr letter_escape LETTER_ESCAPES[] = {{'r', '\r'}, {'n', '\n'}, {'t', '\t'}, {'0', '\0'}, {'\\', '\\'}};

bool hex_pair_at(const std::string& in, size_t i)
{
    return i + 2 < in.size() && isxdigit(static_cast<unsigned char>(in[i + 1])) &&
           isxdigit(static_cast<unsigned char>(in[i + 2]));
}

} // namespace

std::string unescape(const std::string& in)
{
    std::string out;
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] != '\\' || i + 1 == in.size()) {
            out += in[i];
            continue;
        }
        char c = in[++i];
        if (c == 'x' && hex_pair_at(in, i)) {
            out += static_cast<char>(strtol(in.substr(i + 1, 2).c_str(), nullptr, 16));
            i += 2;
            continue;
        }
        char byte = c; // an unknown escape gives the character itself
        for (const letter_escape& e : LETTER_ESCAPES)
            if (e.letter == c)
                byte = e.byte;
        out += byte;
    }
    return out;
}

std::string session_text(const std::string& bytes)
{
    std::string out = visible(bytes);
    if (!out.empty() && out.back() == ' ')
        out.replace(out.size() - 1, 1, "\\x20");
    return out;
}

std::string visible(const std::string& bytes)
{
    std::string out;
    for (char c : bytes) {
        const letter_escape* named = nullptr;
        for (const letter_escape& e : LETTER_ESCAPES)
            if (e.byte == c)
                named = &e;
        unsigned char u = static_cast<unsigned char>(c);
        if (named) {
            out += '\\';
            out += named->letter;
        } else if (u < 0x20 || u > 0x7E) {
            char esc[8];
            snprintf(esc, sizeof esc, "\\x%02X", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out;
}

std::string hex_bytes(const std::string& bytes)
{
    std::string out;
    char pair[3];
    for (char c : bytes) {
        snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
        out += pair;
    }
    return out;
}

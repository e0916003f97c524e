// Text helpers shared by the radio and network code: in-place field splitting,
// the hexadecimal coding in which the PEI carries SDS payloads, and bounded
// copies into fixed-width fields.
#pragma once
#include <cstddef>

// Number of fields a split record can hold.
constexpr int SPLIT_MAX_FIELDS = 256;

// Result of split: pointers into the caller's buffer, which must outlive it.
struct split {
    char* pointers[SPLIT_MAX_FIELDS];
    int count; // at least 1
};

// Splits in in place at every delim after its first character (each delimiter
// becomes NUL). Never stores more than 256 fields: past that, the rest of the
// text stays in the last field, delimiters included.
// The record and the function share the name "split"; the record is then
// named "struct split".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
struct split split(char* in, char delim);
#pragma GCC diagnostic pop

// The byte spelt by two hex digits, read like strtol of "0x<first><second>":
// a non-hex first gives 0, a non-hex second gives the value of first alone.
char hexToAscii(char first, char second);

// Decodes hex text into bytes followed by a NUL. When in starts "00" the text
// is read as 16-bit units (low byte of each: start 2, step 4, while the index
// is below 2*len); otherwise pairs from index 0, step 2, while below len.
// Characters at or past in's terminator read as NUL. Writes at most out_size
// bytes, terminator included.
void decodehex(const char* in, int len, char* out, size_t out_size);

// Codes len bytes of in (NULs included) as uppercase hex digits plus a NUL.
// A len of 0 or less gives the empty string. Stops short rather than write
// more than out_size bytes, terminator included.
void encodehex(const char* in, int len, char* out, size_t out_size);

// True when text begins with prefix.
bool starts_with(const char* text, const char* prefix);

// snprintf's result is the untruncated length; this is what a buffer of size
// bytes holds of it (0 for an encoding error or an empty buffer).
int stored(int len, size_t size);

// Upper-cases exactly the first len characters of temp (only a to z change).
void upper(char* temp, int len);

// Copies src into dst, cut so that it fits dst_size bytes with its NUL.
// Returns the number of characters stored.
size_t copy_bounded(char* dst, size_t dst_size, const char* src);

// copy_bounded for a fixed-width field whose size the compiler knows.
template <size_t N> size_t copy_field(char (&dst)[N], const char* src)
{
    return copy_bounded(dst, N, src);
}

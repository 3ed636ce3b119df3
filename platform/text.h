// Text and numbers as the program's documents treat them.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Leading-number parse: blanks skipped, an optional sign, digits and one decimal point read
// from the start, reading stopping at the first other character; no number reads as 0.
double val(std::string_view text);
// Whole-text conversion: the text (blanks around it allowed) must be one number and nothing
// else; anything else (junk, empty) gives nothing.
std::optional<double> parseNumber(std::string_view text);
// Nearest whole number, halves to the even neighbour (0.5 -> 0, 1.5 -> 2, -2.5 -> -2).
int64_t roundHalfEven(double x);
// Saturation to the 16-bit range.
int16_t sat16(int64_t x);
int16_t sat16(double x);  // rounds half to even first
// Clamp of a rounded value into [lo, hi].
int64_t clampRound(double x, int64_t lo, int64_t hi);
// Fixed-length field: a longer text is cut, a shorter one padded with blanks.
std::string fixedLen(std::string_view text, size_t len);
std::string rtrim(std::string_view text);
std::string trim(std::string_view text);
// Decimal text of a whole number: no blanks, no decimal point, a leading minus for negatives.
std::string str(int64_t v);
// A track or row number as the names carry it: two digits ("01" .. "28").
std::string twoDigits(int n);
// Windows-1252 bytes <-> UTF-8 text. Characters that code page lacks become '?'.
std::string toCp1252(std::string_view utf8);
std::string fromCp1252(std::string_view bytes);
// Case-insensitive comparison of ASCII words.
bool iequals(std::string_view a, std::string_view b);

}  // namespace platform

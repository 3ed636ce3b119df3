#include "platform/text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace platform {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Locale-independent conversion of an unsigned decimal text; nothing when it is malformed or
// out of the range of a double.
std::optional<double> convert(std::string_view s, bool negative) {
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
  if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
  return negative ? -v + 0.0 : v + 0.0;  // + 0.0 turns -0 into 0
}

// UTF-8 decoding of one character at s[i]; a malformed byte decodes as -1 and consumes one byte.
int32_t decodeUtf8(std::string_view s, size_t& i) {
  auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) return ++i, b0;
  int n = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
  if (n < 0 || b0 > 0xF4 || i + static_cast<size_t>(n) >= s.size()) return ++i, -1;
  int32_t cp = b0 & (0x3F >> n);
  for (int k = 1; k <= n; ++k) {
    auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) return ++i, -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr int32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return ++i, -1;
  i += n + 1;
  return cp;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Bytes 0x80..0x9F of Windows-1252. The five bytes the code page leaves undefined map to the
// C1 controls of the same value, as Windows itself converts them, so every byte survives a
// round trip through UTF-8.
constexpr std::array<uint16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

double val(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t start = i;
  bool point = false;
  while (i < text.size() && (isDigit(text[i]) || (text[i] == '.' && !point))) point |= text[i++] == '.';
  std::string_view num = text.substr(start, i - start);
  if (num.find_first_of("0123456789") == std::string_view::npos) return 0.0;
  if (auto v = convert(num, negative)) return *v;
  // Out of range: a huge integer part saturates, a long run of zeros after the point is 0.
  if (num.substr(0, num.find('.')).find_first_of("123456789") == std::string_view::npos) return 0.0;
  return negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
}

std::optional<double> parseNumber(std::string_view text) {
  std::string_view s = text;
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  // Only plain decimal forms: a digit or a point first (no "inf", "nan", hex).
  if (s.empty() || !(isDigit(s.front()) || (s.front() == '.' && s.size() > 1 && isDigit(s[1]))))
    return std::nullopt;
  return convert(s, negative);
}

int64_t roundHalfEven(double x) {
  if (std::isnan(x)) return 0;
  constexpr double kTwo63 = 9223372036854775808.0;
  if (x >= kTwo63) return std::numeric_limits<int64_t>::max();
  if (x < -kTwo63) return std::numeric_limits<int64_t>::min();
  double f = std::floor(x);
  double d = x - f;  // exact for every double
  if (d > 0.5 || (d == 0.5 && std::fmod(f, 2.0) != 0.0)) f += 1.0;
  if (f >= kTwo63) return std::numeric_limits<int64_t>::max();
  return static_cast<int64_t>(f);
}

int16_t sat16(int64_t x) {
  if (x > std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
  if (x < std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
  return static_cast<int16_t>(x);
}

int16_t sat16(double x) { return sat16(roundHalfEven(x)); }

int64_t clampRound(double x, int64_t lo, int64_t hi) {
  int64_t r = roundHalfEven(x);
  if (r > hi) r = hi;
  if (r < lo) r = lo;
  return r;
}

std::string fixedLen(std::string_view text, size_t len) {
  // Counts characters of UTF-8 text (a stray byte counts as one), so a field written out in
  // Windows-1252 is exactly len bytes long.
  size_t i = 0, chars = 0;
  while (i < text.size() && chars < len) {
    decodeUtf8(text, i);
    ++chars;
  }
  std::string out(text.substr(0, i));
  out.append(len - chars, ' ');
  return out;
}

std::string rtrim(std::string_view text) {
  size_t n = text.find_last_not_of(' ');
  return n == std::string_view::npos ? std::string() : std::string(text.substr(0, n + 1));
}

std::string trim(std::string_view text) {
  size_t a = text.find_first_not_of(' ');
  return a == std::string_view::npos ? std::string() : rtrim(text.substr(a));
}

std::string str(int64_t v) { return std::to_string(v); }

std::string toCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    int32_t cp = decodeUtf8(utf8, i);
    char c = '?';
    if (cp >= 0 && (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))) {
      c = static_cast<char>(cp);
    } else if (cp >= 0) {
      for (size_t k = 0; k < kHigh.size(); ++k)
        if (kHigh[k] == cp) c = static_cast<char>(0x80 + k);
    }
    out += c;
  }
  return out;
}

std::string fromCp1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    auto b = static_cast<uint8_t>(ch);
    appendUtf8(out, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b);
  }
  return out;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string twoDigits(int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02d", n);  // a minus sign counts in the width
  return digits;
}

}  // namespace platform

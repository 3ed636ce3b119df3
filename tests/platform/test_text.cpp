#include "platform/text.h"

#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(TextVal, LeadingNumberParse) {
  EXPECT_EQ(val("12abc"), 12);
  EXPECT_EQ(val("  -3.5x"), -3.5);
  EXPECT_EQ(val("\t+7"), 7);
  EXPECT_EQ(val("abc"), 0);
  EXPECT_EQ(val(""), 0);
  EXPECT_EQ(val("   "), 0);
  EXPECT_EQ(val("-"), 0);
  EXPECT_EQ(val("."), 0);
  EXPECT_EQ(val(".5"), 0.5);
  EXPECT_EQ(val("-.25"), -0.25);
  EXPECT_EQ(val("5."), 5);
  EXPECT_EQ(val("1.2.3"), 1.2);  // one decimal point only
  EXPECT_EQ(val("1e3"), 1);
  EXPECT_EQ(val("--5"), 0);
  EXPECT_EQ(val("1,5"), 1);
  EXPECT_EQ(val("-1500"), -1500);
  EXPECT_EQ(val("007"), 7);
  EXPECT_FALSE(std::signbit(val("-0")));
  // Out-of-range digit runs neither crash nor give infinities.
  EXPECT_EQ(val(std::string(400, '9')), std::numeric_limits<double>::max());
  EXPECT_EQ(val("-" + std::string(400, '9')), -std::numeric_limits<double>::max());
  EXPECT_EQ(val("0." + std::string(400, '0') + "1"), 0);
}

TEST(TextParseNumber, WholeTextMustBeANumber) {
  EXPECT_EQ(parseNumber("42"), 42);
  EXPECT_EQ(parseNumber("  -17 "), -17);
  EXPECT_EQ(parseNumber("+3.5"), 3.5);
  EXPECT_EQ(parseNumber(".5"), 0.5);
  EXPECT_EQ(parseNumber("5."), 5);
  EXPECT_EQ(parseNumber("2.69e6"), 2690000);
  for (const char* junk : {"", "   ", "12abc", "abc", "1 2", "-", ".", "+-1", "1e", "0x10", "inf",
                           "nan", "-inf", "1e999", "1.2.3", "- 1"}) {
    EXPECT_EQ(parseNumber(junk), std::nullopt) << '"' << junk << '"';
  }
}

TEST(TextRounding, HalvesGoToTheEvenNeighbour) {
  const std::pair<double, int64_t> cases[] = {
      {0.5, 0},   {1.5, 2},    {2.5, 2},    {3.5, 4},   {-0.5, 0},       {-1.5, -2},
      {-2.5, -2}, {0.49, 0},   {0.51, 1},   {-0.51, -1}, {2.4999999, 2}, {7, 7},
      {-7, -7},   {1e15 + 0.5, 1'000'000'000'000'000}, {4503599627370497.0, 4503599627370497}};
  for (auto [x, want] : cases) EXPECT_EQ(roundHalfEven(x), want) << x;
  constexpr auto kMax = std::numeric_limits<int64_t>::max();
  constexpr auto kMin = std::numeric_limits<int64_t>::min();
  EXPECT_EQ(roundHalfEven(1e300), kMax);
  EXPECT_EQ(roundHalfEven(9223372036854775808.0), kMax);
  EXPECT_EQ(roundHalfEven(-1e300), kMin);
  EXPECT_EQ(roundHalfEven(-9223372036854775808.0), kMin);
  EXPECT_EQ(roundHalfEven(std::numeric_limits<double>::infinity()), kMax);
  EXPECT_EQ(roundHalfEven(-std::numeric_limits<double>::infinity()), kMin);
  EXPECT_EQ(roundHalfEven(std::nan("")), 0);
}

TEST(TextSaturation, SixteenBitAndClamp) {
  EXPECT_EQ(sat16(int64_t{40000}), 32767);
  EXPECT_EQ(sat16(int64_t{-40000}), -32768);
  EXPECT_EQ(sat16(int64_t{-32768}), -32768);
  EXPECT_EQ(sat16(int64_t{123}), 123);
  EXPECT_EQ(sat16(32766.5), 32766);
  EXPECT_EQ(sat16(32767.5), 32767);
  EXPECT_EQ(sat16(-32768.5), -32768);
  EXPECT_EQ(sat16(-2.5), -2);
  EXPECT_EQ(sat16(1e20), 32767);
  EXPECT_EQ(sat16(std::nan("")), 0);
  EXPECT_EQ(clampRound(2.5, 0, 10), 2);
  EXPECT_EQ(clampRound(10.5, 0, 10), 10);
  EXPECT_EQ(clampRound(-0.5, 0, 10), 0);
  EXPECT_EQ(clampRound(-0.6, 0, 10), 0);
  EXPECT_EQ(clampRound(-12000.4, -10000, 0), -10000);
  EXPECT_EQ(clampRound(1e300, -10000, 10000), 10000);
}

TEST(TextFields, FixedLengthAndTrims) {
  EXPECT_EQ(fixedLen("Track01", 9), "Track01  ");
  EXPECT_EQ(fixedLen("A very long name", 9), "A very lo");
  EXPECT_EQ(fixedLen("", 3), "   ");
  EXPECT_EQ(fixedLen("abc", 0), "");
  EXPECT_EQ(fixedLen("C:\\Vemracd\\Mysong\\T01.wav", 25), "C:\\Vemracd\\Mysong\\T01.wav");
  // Characters, not bytes: the field is exactly that long once written in Windows-1252.
  EXPECT_EQ(fixedLen("Gr\xC3\xBC\xC3\x9F" "e", 4), "Gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(toCp1252(fixedLen("Caf\xC3\xA9", 9)).size(), 9u);
  EXPECT_EQ(toCp1252(fixedLen("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 2)), "\x80\x80");

  EXPECT_EQ(rtrim("Track01  "), "Track01");
  EXPECT_EQ(rtrim("  a b  "), "  a b");
  EXPECT_EQ(rtrim("    "), "");
  EXPECT_EQ(trim("  a b  "), "a b");
  EXPECT_EQ(trim(""), "");
  EXPECT_EQ(trim(" \t"), "\t");  // blanks only

  EXPECT_EQ(str(0), "0");
  EXPECT_EQ(str(-1500), "-1500");
  EXPECT_EQ(str(10000), "10000");
  EXPECT_EQ(str(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(val(str(-5000)), -5000);

  EXPECT_TRUE(iequals("T01.wav", "t01.WAV"));
  EXPECT_TRUE(iequals("", ""));
  EXPECT_FALSE(iequals("T01.wav", "T01.wa"));
  EXPECT_FALSE(iequals("T01.wav", "T02.wav"));
  EXPECT_FALSE(iequals("[", "{"));  // only letters fold
}

TEST(TextCp1252, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string utf8 = fromCp1252(all);
  EXPECT_EQ(toCp1252(utf8), all);
  EXPECT_EQ(fromCp1252("\x80"), "\xE2\x82\xAC");        // euro sign
  EXPECT_EQ(fromCp1252("\x9F"), "\xC5\xB8");            // Y with diaeresis
  EXPECT_EQ(fromCp1252("\x92"), "\xE2\x80\x99");        // right single quote
  EXPECT_EQ(fromCp1252("\xDC\xE9"), "\xC3\x9C\xC3\xA9");  // Latin-1 range as is
  EXPECT_EQ(toCp1252("\xE2\x84\xA2 caf\xC3\xA9"), "\x99 caf\xE9");
}

TEST(TextCp1252, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(toCp1252("\xE4\xB8\xAD"), "?");            // a CJK character
  EXPECT_EQ(toCp1252("\xF0\x9F\x8E\xB5!"), "?!");      // outside the BMP
  EXPECT_EQ(toCp1252("\xC2\x80"), "?");                // U+0080 is not the euro sign
  EXPECT_EQ(toCp1252("a\xFFz"), "a?z");                // a byte never valid in UTF-8
  EXPECT_EQ(toCp1252("ab\xC3"), "ab?");                // cut off at the end
  EXPECT_EQ(toCp1252("\xC3("), "?(");                  // lead byte without continuation
  EXPECT_EQ(toCp1252("\xC0\xAF"), "??");               // overlong
  EXPECT_EQ(toCp1252("\xED\xA0\x80"), "???");          // a surrogate
  EXPECT_EQ(toCp1252(""), "");
}

}  // namespace

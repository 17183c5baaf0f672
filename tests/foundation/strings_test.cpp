// Wide strings: views, growth rules, number formatting, placeholders, UTF-8.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <limits>
#include <string>

#include "foundation/pw_byte_array.h"
#include "foundation/pw_string.h"
#include "strings/pw_strings.h"

namespace {

std::string Real(double aValue, int32_t aDecimals, char16_t aSeparator = u'.', int32_t aWidth = 0,
                 bool aPlus = false) {
  CPwString s;
  s.AppendReal(aValue, aDecimals, aSeparator, aWidth, aPlus);
  return PwToUtf8(s);
}

std::string Num(int64_t aValue, int32_t aWidth) {
  CPwString s;
  s.AppendNum(aValue, aWidth);
  return PwToUtf8(s);
}

}  // namespace

TEST(StringView, LiteralsAndComparison) {
  constexpr CPwStringC abc(u"abc");
  static_assert(abc.Length() == 3);
  EXPECT_TRUE(CPwStringC(u"").IsEmpty());
  EXPECT_EQ(abc, CPwStringC(u"abc"));
  EXPECT_FALSE(abc == CPwStringC(u"abd"));

  // Common prefix first, then the shorter one is smaller; code-unit order.
  EXPECT_LT(CPwStringC(u"ab").Compare(u"abc"), 0);
  EXPECT_GT(CPwStringC(u"b").Compare(u"abc"), 0);
  EXPECT_EQ(CPwStringC(u"abc").Compare(u"abc"), 0);
  EXPECT_LT(CPwStringC(u"Z").Compare(u"a"), 0);
  EXPECT_EQ(CPwStringC(u"HeLLo").CompareNoCase(u"hello"), 0);
  EXPECT_EQ(CPwStringC(u"ÄÖÜ").CompareNoCase(u"äöü"), 0);
  EXPECT_LT(CPwStringC(u"apple").CompareNoCase(u"BANANA"), 0);
  EXPECT_LT(CPwStringC(u"AB").CompareNoCase(u"abc"), 0);

  // A zero-terminated buffer larger than its text gives the text only.
  char16_t buffer[16] = u"xy";
  EXPECT_EQ(CPwStringC(buffer).Length(), 2);
}

TEST(StringView, FindAndSubviews) {
  CPwStringC s(u"a,b,c");
  EXPECT_EQ(s.Find(u','), 1);
  EXPECT_EQ(s.FindLast(u','), 3);
  EXPECT_EQ(s.Find(u'x'), -1);
  EXPECT_EQ(s.FindLast(u'x'), -1);
  EXPECT_EQ(s.Find(CPwStringC(u"b,c")), 2);
  EXPECT_EQ(s.Find(CPwStringC(u"c,")), -1);
  EXPECT_EQ(s.Find(CPwStringC(u"")), -1);
  EXPECT_EQ(CPwStringC(u"ab").Find(CPwStringC(u"abc")), -1);
  EXPECT_EQ(CPwStringC(u"aaab").Find(CPwStringC(u"aab")), 1);

  EXPECT_EQ(s.Left(0), CPwStringC(u""));
  EXPECT_EQ(s.Left(5), s);
  EXPECT_EQ(s.Mid(2, 3), CPwStringC(u"b,c"));
  EXPECT_EQ(s.Mid(5), CPwStringC(u""));
  EXPECT_EQ(s.Mid(4), CPwStringC(u"c"));
  EXPECT_EQ(s.CharAt(4), u'c');
}

TEST(StringViewDeath, RangeChecksPanicWith7) {
  CPwStringC s(u"abc");
  EXPECT_EXIT(s.CharAt(3), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.CharAt(-1), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.Left(4), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.Mid(2, 2), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.Mid(4), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.Mid(-1, 1), testing::ExitedWithCode(70), "PwCore 7");
}

TEST(StringView, ParseInt) {
  int32_t v = 99;
  EXPECT_TRUE(CPwStringC(u"-12x").ParseInt(v));
  EXPECT_EQ(v, -12);
  EXPECT_TRUE(CPwStringC(u"12ab").ParseInt(v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(CPwStringC(u"1-2").ParseInt(v));
  EXPECT_EQ(v, 1);
  EXPECT_TRUE(CPwStringC(u"+7").ParseInt(v));
  EXPECT_EQ(v, 7);
  v = 99;
  EXPECT_FALSE(CPwStringC(u"+").ParseInt(v));
  EXPECT_FALSE(CPwStringC(u"").ParseInt(v));
  EXPECT_FALSE(CPwStringC(u" 5").ParseInt(v));
  EXPECT_FALSE(CPwStringC(u"--5").ParseInt(v));
  EXPECT_EQ(v, 99);
  // Hostile lengths saturate instead of overflowing.
  EXPECT_TRUE(CPwStringC(u"99999999999999999999999").ParseInt(v));
  EXPECT_EQ(v, INT32_MAX);
  EXPECT_TRUE(CPwStringC(u"-2147483648").ParseInt(v));
  EXPECT_EQ(v, INT32_MIN);
  int64_t w = 0;
  EXPECT_TRUE(CPwStringC(u"-9223372036854775808").ParseInt(w));
  EXPECT_EQ(w, INT64_MIN);
  EXPECT_TRUE(CPwStringC(u"9223372036854775808").ParseInt(w));
  EXPECT_EQ(w, INT64_MAX);
}

TEST(StringView, ParseReal) {
  double d = -1;
  EXPECT_TRUE(CPwStringC(u"3,25").ParseReal(d, u','));
  EXPECT_EQ(d, 3.25);
  EXPECT_TRUE(CPwStringC(u"3.25").ParseReal(d, u','));
  EXPECT_EQ(d, 3.0);
  EXPECT_TRUE(CPwStringC(u"-0.5").ParseReal(d, u'.'));
  EXPECT_EQ(d, -0.5);
  EXPECT_TRUE(CPwStringC(u".5").ParseReal(d));
  EXPECT_EQ(d, 0.5);
  EXPECT_TRUE(CPwStringC(u"7.").ParseReal(d));
  EXPECT_EQ(d, 7.0);
  EXPECT_TRUE(CPwStringC(u"1.2.3").ParseReal(d));
  EXPECT_EQ(d, 1.2);
  d = 42;
  EXPECT_FALSE(CPwStringC(u"-.").ParseReal(d));
  EXPECT_FALSE(CPwStringC(u"").ParseReal(d));
  EXPECT_EQ(d, 42);
}

TEST(StringView, AllocZAndPath) {
  CPwStringC s(u"file");
  char16_t* z = s.AllocZL();
  EXPECT_EQ(CPwStringC(z, 5).CharAt(4), 0);
  EXPECT_EQ(CPwStringC(z, 4), s);
  FreeMem(z);

  char16_t path[KPwMaxPath];
  path[0] = u'?';
  std::u16string longText(KPwMaxPath, u'x');
  EXPECT_FALSE(CPwStringC(longText).CopyToPath(path));
  EXPECT_EQ(path[0], u'?');
  std::u16string fits(KPwMaxPath - 1, u'y');
  EXPECT_TRUE(CPwStringC(fits).CopyToPath(path));
  EXPECT_EQ(path[KPwMaxPath - 1], 0);
  EXPECT_EQ(path[0], u'y');
}

TEST(String, CopyAndAppendGrowth) {
  CPwString s;
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Capacity(), 0);
  EXPECT_EQ(s.Ptr(), nullptr);

  s.Copy(u"hello");
  EXPECT_EQ(s.Capacity(), 5);  // exactly the new length
  s.Copy(u"hi");
  EXPECT_EQ(s.Capacity(), 5);  // never shrunk by Copy
  EXPECT_EQ(s, CPwStringC(u"hi"));
  s.CopyExact(u"abc");
  EXPECT_EQ(s.Capacity(), 3);

  s.Append(u"de");  // 5 needed, capacity becomes 5 + 128
  EXPECT_EQ(s.Capacity(), 133);
  EXPECT_EQ(s, CPwStringC(u"abcde"));
  for (int i = 0; i < 128; ++i) s.AppendChar(u'x');
  EXPECT_EQ(s.Capacity(), 133);
  s.AppendChar(u'y');
  EXPECT_EQ(s.Capacity(), 134 + 128);
  EXPECT_EQ(s.Length(), 134);

  s.Reset();
  EXPECT_EQ(s.Length(), 0);
  EXPECT_EQ(s.Capacity(), 0);
}

TEST(String, AppendAndInsertOfItsOwnText) {
  CPwString s(u"abc");
  s.Append(s);  // reallocates while reading its own buffer
  EXPECT_EQ(s, CPwStringC(u"abcabc"));
  s.Append(s.Mid(1, 2));
  EXPECT_EQ(s, CPwStringC(u"abcabcbc"));
  CPwString t(u"xyz");
  t.Insert(1, t);
  EXPECT_EQ(t, CPwStringC(u"xxyzyz"));
  t.Copy(t.Mid(2));
  EXPECT_EQ(t, CPwStringC(u"yzyz"));
  t.CopyExact(t.Left(2));
  EXPECT_EQ(t, CPwStringC(u"yz"));
}

TEST(String, InsertDeleteSetCharAndFlatten) {
  CPwString s(u"ace");
  s.Insert(1, u"b");
  s.Insert(3, u"d");
  s.Insert(5, u"f");
  s.Insert(0, u"_");
  EXPECT_EQ(s, CPwStringC(u"_abcdef"));
  s.Delete(0, 1);
  s.Delete(5, 1);
  s.Delete(2, 0);
  EXPECT_EQ(s, CPwStringC(u"abcde"));
  s.SetCharAt(4, u'E');
  EXPECT_EQ(s, CPwStringC(u"abcdE"));

  CPwString note(u"one\r\ntwo\nthree\u2028four\u2029five\r");
  note.FlattenLines();
  EXPECT_EQ(note, CPwStringC(u"one two three four five"));
}

TEST(StringDeath, EditRangeChecksPanic) {
  CPwString s(u"abc");
  EXPECT_EXIT(s.Insert(4, u"x"), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.Insert(-1, u"x"), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.Delete(2, 2), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.Delete(0, -1), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.SetCharAt(3, u'x'), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(s.SetLength(4), testing::ExitedWithCode(70), "PwCore 8");
  EXPECT_EXIT(s.CopyRaw(u"abcd", 4), testing::ExitedWithCode(70), "PwCore 8");
  EXPECT_EXIT(s.Replace(u"%N", 3), testing::ExitedWithCode(70), "PwCore 11");
}

TEST(String, AppendNumAndHex) {
  EXPECT_EQ(Num(-5, 3), "-05");
  EXPECT_EQ(Num(7, 3), "007");
  EXPECT_EQ(Num(7, 0), "7");
  EXPECT_EQ(Num(123, 2), "123");
  EXPECT_EQ(Num(0, 0), "0");
  EXPECT_EQ(Num(-5, 1), "-5");
  EXPECT_EQ(Num(INT64_MIN, 0), "-9223372036854775808");

  CPwString s;
  s.AppendNum(1);
  EXPECT_GE(s.Capacity(), 64);  // numbers reserve room up front
  s.Reset();
  s.AppendHex(0xBEEF, 6);
  s.AppendChar(u' ');
  s.AppendHex(0, 0);
  s.AppendChar(u' ');
  s.AppendHex(0xFFFFFFFFu, 2);
  EXPECT_EQ(PwToUtf8(s), "00BEEF 0 FFFFFFFF");
}

TEST(String, AppendRealRoundingAndPadding) {
  EXPECT_EQ(Real(0.05, 1), "0.1");
  EXPECT_EQ(Real(2.0, 0), "2");
  EXPECT_EQ(Real(-0.25, 2, u','), "-0,25");
  EXPECT_EQ(Real(1.5, 2, u'.', 6), "001.50");
  EXPECT_EQ(Real(5, 0, u'.', 3), "05");
  EXPECT_EQ(Real(0.5, 1), "0.5");
  EXPECT_EQ(Real(0.004, 2), "0.00");
  EXPECT_EQ(Real(0.005, 2), "0.01");
  EXPECT_EQ(Real(0.0001234, 6), "0.000123");
  EXPECT_EQ(Real(9.96, 1), "10.0");
  EXPECT_EQ(Real(-9.96, 1, u'.', 6), "-0010.0");  // the sign does not count here
  EXPECT_EQ(Real(3.14159, 3, u'.', 0, true), "+3.142");
  EXPECT_EQ(Real(-3.14159, 3, u'.', 0, true), "-3.142");
  EXPECT_EQ(Real(0.0, 0, u'.', 0, true), "+0");
  EXPECT_EQ(Real(1234567.891, 2), "1234567.89");
  EXPECT_EQ(Real(48.1173, 7), "48.1173000");
  EXPECT_EQ(Real(1e20, 1), "100000000000000000000.0");
  EXPECT_EQ(Real(std::nan(""), 2, u'.', 8, true), "NaN");
  EXPECT_EQ(Real(-std::numeric_limits<double>::infinity(), 2), "-Inf");
  EXPECT_EQ(Real(2.5, -3), "3");  // negative decimals count as none
}

TEST(String, AppendRealMatchesTheExactDecimalExpansion) {
  // Rounding half up is "add half a unit, then cut": compare with the C library's exact
  // expansion of the same sum over many magnitudes and decimal counts.
  std::mt19937_64 random(11);
  for (int i = 0; i < 20000; ++i) {
    const int32_t decimals = static_cast<int32_t>(random() % 12);
    const double scale = std::pow(10.0, static_cast<int>(random() % 16) - 6);
    const double value = static_cast<double>(random() % 100000000) / 1e4 * scale;
    char text[512];
    std::snprintf(text, sizeof text, "%.80f", value + 0.5 / std::pow(10.0, decimals));
    std::string expected(text);
    expected.resize(expected.find('.') + (decimals ? decimals + 1 : 0));
    ASSERT_EQ(Real(value, decimals), expected) << value << " " << decimals;
  }
}

TEST(String, ReplaceAndPlaceholders) {
  CPwString s(u"%N satellites");
  s.Replace(u"%N", 7);
  EXPECT_EQ(s, CPwStringC(u"7 satellites"));
  s.Copy(u"%N satellites");
  s.Replace(u"%N", -3);
  EXPECT_EQ(s, CPwStringC(u"-3 satellites"));

  // Substitutions search the text as it is now, so a first text containing the second
  // placeholder receives the second value; the entry's own placeholder stays.
  s.Copy(u"%0U and %1U");
  s.Replace(u"%0U", u"<%1U>");
  s.Replace(u"%1U", u"B");
  EXPECT_EQ(s, CPwStringC(u"<B> and %1U"));

  s.Copy(u"x%Uy");
  s.Replace(u"%U", s.Left(1));  // a view of the string itself
  EXPECT_EQ(s, CPwStringC(u"xxy"));
}

TEST(String, LoadAndFormatFromTheStringTable) {
  CPwString s(u"old");
  s.LoadFromResource(0xFFFF);  // no such entry
  EXPECT_TRUE(s.IsEmpty());

  s.LoadFromResource(R_FILE_MULTIPLE_CHOICE);
  std::u16string expected(s.View());
  ASSERT_NE(expected.find(u"%N"), std::u16string::npos);
  expected.replace(expected.find(u"%N"), 2, u"-12");
  s.FormatN(R_FILE_MULTIPLE_CHOICE, -12);
  EXPECT_EQ(s.View(), expected);
}

TEST(String, MoveAndHeapUse) {
  CPwString a(u"moved");
  CPwString b(std::move(a));
  EXPECT_EQ(b, CPwStringC(u"moved"));
  EXPECT_EQ(a.Length(), 0);
  EXPECT_EQ(a.Capacity(), 0);
  a = std::move(b);
  EXPECT_EQ(a, CPwStringC(u"moved"));

  CPwString* h = CPwString::NewL(u"heap");
  EXPECT_EQ(*h, CPwStringC(u"heap"));
  delete h;
}

TEST(Utf8, RoundTrips) {
  const char* samples[] = {"", "plain ASCII", "Nürburgring", "Спа", "東京", "flag \xF0\x9F\x8F\x81 end",
                           "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF"};
  for (const char* text : samples) {
    CPwString s = PwStringFromUtf8(text);
    EXPECT_EQ(PwToUtf8(s), text);
  }
  CPwString flag = PwStringFromUtf8("\xF0\x9F\x8F\x81");
  ASSERT_EQ(flag.Length(), 2);  // a surrogate pair
  EXPECT_EQ(flag.CharAt(0), 0xD83C);
  EXPECT_EQ(flag.CharAt(1), 0xDFC1);

  // Decoding appends by the usual rule: exactly the decoded length plus the slack.
  CPwString grown(u"ab");
  grown.AppendFromUtf8(CPwByteArrayC("\xC3\xA9t\xC3\xA9"));
  EXPECT_EQ(grown, CPwStringC(u"ab\u00E9t\u00E9"));
  EXPECT_EQ(grown.Capacity(), 5 + 128);

  CPwByteArray bytes;
  bytes.AppendUtf8(u"Ø1");
  EXPECT_EQ(bytes.View(), "\xC3\x98" "1");
}

TEST(Utf8, InvalidInputAppendsNothingForThatSequence) {
  struct Case {
    const char* iInput;
    const char16_t* iExpected;
  } cases[] = {
      {"a\x80" "b", u"ab"},                 // stray continuation byte
      {"a\xC0\xAF" "b", u"ab"},             // overlong '/'
      {"a\xE0\x80\xAF" "b", u"ab"},         // overlong three-byte form
      {"a\xED\xA0\x80" "b", u"ab"},         // encoded surrogate
      {"a\xF4\x90\x80\x80" "b", u"ab"},     // above U+10FFFF
      {"a\xF5\x80" "b", u"ab"},             // invalid lead byte
      {"a\xE2\x82" "b", u"ab"},             // truncated, next byte starts a new sequence
      {"a\xE2\x82", u"a"},                  // truncated at the end
      {"\xC3\xC3\xA9", u"\u00E9"},          // broken lead, then a valid one
      {"\xFF\xFE", u""},
  };
  for (const Case& c : cases) {
    CPwString s;
    s.AppendFromUtf8(std::string_view(c.iInput));
    EXPECT_EQ(s, CPwStringC(std::u16string_view(c.iExpected))) << c.iInput;
  }
  // Unpaired surrogates are dropped when encoding.
  const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(PwToUtf8(CPwStringC(lone, 4)), "ab");
}

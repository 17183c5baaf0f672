// Byte views and buffers: scanning, parsing of wire fields, growth and token splitting.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "foundation/pw_byte_array.h"

namespace {

std::string Real(double aValue, int32_t aDecimals, uint8_t aSeparator = '.', int32_t aWidth = 0,
                 bool aPlus = false) {
  CPwByteArray b;
  b.AppendReal(aValue, aDecimals, aSeparator, aWidth, aPlus);
  return std::string(b.View());
}

}  // namespace

TEST(ByteView, FindAndLineEnds) {
  CPwByteArrayC b("$GPRMC,1,2*3F\r\n$GPGGA");
  EXPECT_EQ(b.Find(','), 6);
  EXPECT_EQ(b.Find(',', 7), 8);
  EXPECT_EQ(b.Find(',', 9), -1);
  EXPECT_EQ(b.Find('$', b.Length()), -1);
  EXPECT_EQ(b.Find(CPwByteArrayC("$GPGGA")), 15);
  EXPECT_EQ(b.Find(CPwByteArrayC("GGAX")), -1);
  EXPECT_EQ(b.Find(CPwByteArrayC("")), -1);
  EXPECT_EQ(CPwByteArrayC("").Find('x'), -1);

  int32_t term = -1;
  EXPECT_EQ(b.FindLineEnd(term), 13);
  EXPECT_EQ(term, 2);
  EXPECT_EQ(CPwByteArrayC("ab\ncd\r\n").FindLineEnd(term), 2);
  EXPECT_EQ(term, 1);
  EXPECT_EQ(CPwByteArrayC("\n").FindLineEnd(term), 0);
  EXPECT_EQ(term, 1);
  EXPECT_EQ(CPwByteArrayC("\r\n").FindLineEnd(term), 0);
  EXPECT_EQ(term, 2);
  EXPECT_EQ(CPwByteArrayC("ab\rcd").FindLineEnd(term), -1);  // a lone CR is no line end
  EXPECT_EQ(term, 0);

  // Embedded zeros are part of a literal view.
  EXPECT_EQ(CPwByteArrayC("a\0b").Length(), 3);
}

TEST(ByteView, CompareAndPrefix) {
  EXPECT_LT(CPwByteArrayC("ab").Compare("abc"), 0);
  EXPECT_GT(CPwByteArrayC("\xFF").Compare("a"), 0);  // bytes compare unsigned
  EXPECT_EQ(CPwByteArrayC("GPRMC").CompareNoCase("gprmc"), 0);
  EXPECT_TRUE(CPwByteArrayC("HTTP/1.1 200").StartsWithNoCase("http/"));
  EXPECT_FALSE(CPwByteArrayC("HT").StartsWithNoCase("http"));
  EXPECT_TRUE(CPwByteArrayC("x").StartsWithNoCase(""));
}

TEST(ByteViewDeath, RangeChecksPanicWith7) {
  CPwByteArrayC b("abc");
  EXPECT_EXIT(b.ByteAt(3), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(b.Left(4), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(b.Mid(1, 3), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(b.Mid(4), testing::ExitedWithCode(70), "PwCore 7");
  EXPECT_EXIT(b.Find('a', 4), testing::ExitedWithCode(70), "PwCore 7");
}

TEST(ByteView, ParseFields) {
  int32_t i = 0;
  EXPECT_TRUE(CPwByteArrayC("-12x").ParseInt(i));
  EXPECT_EQ(i, -12);
  EXPECT_FALSE(CPwByteArrayC("+").ParseInt(i));
  EXPECT_FALSE(CPwByteArrayC("").ParseInt(i));
  EXPECT_TRUE(CPwByteArrayC("1-2").ParseInt(i));
  EXPECT_EQ(i, 1);

  double d = 0;
  EXPECT_TRUE(CPwByteArrayC("4807.038").ParseReal(d));
  EXPECT_EQ(d, 4807.038);
  EXPECT_TRUE(CPwByteArrayC("3,25").ParseReal(d, ','));
  EXPECT_EQ(d, 3.25);
  EXPECT_TRUE(CPwByteArrayC("3.25").ParseReal(d, ','));
  EXPECT_EQ(d, 3.0);
  EXPECT_TRUE(CPwByteArrayC("-01131.000,E").ParseReal(d));
  EXPECT_EQ(d, -1131.0);
  // Long and tiny forms go through the correctly rounded path.
  EXPECT_TRUE(CPwByteArrayC("0.1000000000000000055511151231257827").ParseReal(d));
  EXPECT_EQ(d, 0.1);
  EXPECT_TRUE(CPwByteArrayC("123456789012345678901234567890").ParseReal(d));
  EXPECT_EQ(d, 123456789012345678901234567890.0);
  EXPECT_TRUE(CPwByteArrayC("0.00000000000000000000000001").ParseReal(d));
  EXPECT_EQ(d, 1e-26);
  std::string huge(500, '9');
  EXPECT_TRUE(CPwByteArrayC(huge).ParseReal(d));
  EXPECT_TRUE(std::isinf(d));
  std::string zeros = "0." + std::string(1000, '0') + "1";
  EXPECT_TRUE(CPwByteArrayC(zeros).ParseReal(d));
  EXPECT_EQ(d, 0.0);

  uint32_t h = 7;
  EXPECT_TRUE(CPwByteArrayC("3F").ParseHex(h));
  EXPECT_EQ(h, 0x3Fu);
  EXPECT_TRUE(CPwByteArrayC("ffFFffFF").ParseHex(h));
  EXPECT_EQ(h, 0xFFFFFFFFu);
  h = 7;
  EXPECT_FALSE(CPwByteArrayC("").ParseHex(h));
  EXPECT_FALSE(CPwByteArrayC("3G").ParseHex(h));
  EXPECT_FALSE(CPwByteArrayC("100000000").ParseHex(h));
  EXPECT_EQ(h, 7u);
}

TEST(ByteArray, GrowthRules) {
  CPwByteArray b;
  EXPECT_EQ(b.Capacity(), 0);
  b.Copy("abcd");
  EXPECT_EQ(b.Capacity(), 4);
  b.AppendByte('e');
  EXPECT_EQ(b.Capacity(), 5 + 128);
  b.Reserve(10);
  EXPECT_EQ(b.Capacity(), 133);
  b.Reserve(1000);
  EXPECT_EQ(b.Capacity(), 1000);
  EXPECT_EQ(b.View(), "abcde");
  b.Append(b);
  EXPECT_EQ(b.View(), "abcdeabcde");

  // Reading into the buffer directly, as the file loader does.
  CPwByteArray r;
  r.Reserve(8);
  std::memcpy(r.Buffer(), "12345678", 8);
  r.SetLength(8);
  EXPECT_EQ(r.View(), "12345678");
  r.CopyRaw("xy", 2);
  EXPECT_EQ(r.View(), "xy");
  r.Reset();
  EXPECT_EQ(r.Capacity(), 0);
}

TEST(ByteArrayDeath, RawCopiesPanicWith8) {
  CPwByteArray b;
  b.Reserve(4);
  EXPECT_EXIT(b.SetLength(5), testing::ExitedWithCode(70), "PwCore 8");
  EXPECT_EXIT(b.CopyRaw("12345", 5), testing::ExitedWithCode(70), "PwCore 8");
  EXPECT_EXIT(b.Delete(0, 1), testing::ExitedWithCode(70), "PwCore 7");
}

TEST(ByteArray, NumbersAndText) {
  CPwByteArray b;
  b.AppendNum(-5, 3);
  b.AppendByte(' ');
  b.AppendHex(0xab, 4);
  b.AppendByte(' ');
  b.AppendUtf8(u"Zürich");
  EXPECT_EQ(b.View(), "-05 00AB Z\xC3\xBCrich");

  EXPECT_EQ(Real(0.05, 1), "0.1");
  EXPECT_EQ(Real(-0.25, 2, ','), "-0,25");
  EXPECT_EQ(Real(1.5, 2, '.', 6), "001.50");
  EXPECT_EQ(Real(5, 0, '.', 3), "05");
  EXPECT_EQ(Real(std::nan(""), 3), "NaN");
  EXPECT_EQ(Real(12.3456, 2, '.', 0, true), "+12.35");

  CPwByteArray csv;
  csv.AppendCsvQuoted(u"say \"hi\", \"");
  EXPECT_EQ(csv.View(), "say \"\"hi\"\", \"\"");
  csv.Reset();
  csv.AppendCsvQuoted(u"plain");
  EXPECT_EQ(csv.View(), "plain");
}

TEST(ByteArray, DeleteAndTakeToken) {
  CPwByteArray b("a,bb,,ccc");
  b.Delete(1, 0);
  CPwByteArray token("junk");
  EXPECT_TRUE(b.TakeToken(',', token));
  EXPECT_EQ(token.View(), "a");
  EXPECT_EQ(b.View(), "bb,,ccc");
  EXPECT_TRUE(b.TakeToken(',', token));
  EXPECT_EQ(token.View(), "bb");
  EXPECT_TRUE(b.TakeToken(',', token));
  EXPECT_EQ(token.View(), "");
  EXPECT_TRUE(b.TakeToken(',', token));  // no delimiter left: everything moves
  EXPECT_EQ(token.View(), "ccc");
  EXPECT_EQ(b.Length(), 0);
  EXPECT_FALSE(b.TakeToken(',', token));
  EXPECT_EQ(token.View(), "ccc");

  CPwByteArray t("x,");
  EXPECT_TRUE(t.TakeToken(',', token));
  EXPECT_EQ(token.View(), "x");
  EXPECT_FALSE(t.TakeToken(',', token));
}

#include "foundation/string_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/pw_string.h"
#include "strings/pw_strings.h"
#include "support/test_support.h"

namespace {

std::string Text(uint16_t aId) {
  int32_t length = -1;
  const char16_t* text = PwStringTableText(aId, &length);
  EXPECT_NE(text, nullptr);
  return PwToUtf8(CPwStringC(text, length));
}

const std::string KScript = std::string(PW_SOURCE_DATA_DIR) + "/../cmake/generate_string_table.cmake";

// Runs the generator on aIn, writing below aOut; returns the exit status.
int Generate(const std::string& aIn, const std::string& aOut, const std::string& aLog) {
  const std::string command = "cmake -DPW_STRINGS_DIR='" + aIn + "' -DPW_STRINGS_OUT='" + aOut +
                              "' -P '" + KScript + "' >'" + aLog + "' 2>&1";
  return std::system(command.c_str());
}

bool HaveCmake() { return std::system("cmake --version >/dev/null 2>&1") == 0; }

}  // namespace

TEST(StringTableTest, LooksUpCompiledTexts) {
  EXPECT_EQ(Text(R_MEMORY_FULL), "Memory full.");
  EXPECT_EQ(Text(R_CHANNEL_UNKNOWN), "Unknown channel");
  // UTF-8 in the source files arrives as UTF-16.
  int32_t length = 0;
  const char16_t* celsius = PwStringTableText(R_UNIT_CELSIUS, &length);
  ASSERT_EQ(length, 2);
  EXPECT_EQ(celsius[0], u'\u00B0');
  EXPECT_EQ(celsius[1], u'C');
  // The length pointer is optional.
  EXPECT_EQ(PwStringTableText(R_MEMORY_FULL, nullptr)[0], u'M');
}

TEST(StringTableTest, MissingEntriesReadAsEmpty) {
  for (uint16_t id : {uint16_t(0), uint16_t(1), uint16_t(999), uint16_t(1999),
                      uint16_t(KPwStringBlockSize * (KPwStringBlockCount + 1)), uint16_t(65535)}) {
    int32_t length = -1;
    const char16_t* text = PwStringTableText(id, &length);
    ASSERT_NE(text, nullptr) << id;
    EXPECT_EQ(length, 0) << id;
  }
}

TEST(StringTableTest, EveryEntryIsATerminatedLiteralOfItsLength) {
  ASSERT_GT(KPwStringBlockCount, 0);
  for (int32_t b = 0; b < KPwStringBlockCount; ++b) {
    const TPwStringBlock& block = KPwStringBlocks[b];
    ASSERT_LE(block.iCount, KPwStringBlockSize);
    for (int32_t i = 0; i < block.iCount; ++i) {
      const TPwStringEntry& e = block.iEntries[i];
      ASSERT_NE(e.iText, nullptr);
      EXPECT_EQ(e.iText[e.iLength], 0);
      const uint16_t id = static_cast<uint16_t>((b + 1) * KPwStringBlockSize + i);
      int32_t length = 0;
      EXPECT_EQ(PwStringTableText(id, &length), e.iText);
      EXPECT_EQ(length, e.iLength);
    }
  }
}

TEST(StringTableGeneratorTest, ParsesEscapesCommentsAndBlocks) {
  if (!HaveCmake()) GTEST_SKIP() << "cmake not on PATH";
  pwtest::TempDir dir;
  const std::string in = dir / "in";
  ASSERT_EQ(std::system(("mkdir '" + in + "'").c_str()), 0);
  ASSERT_TRUE(pwtest::WriteFileBytes(
      in + "/b.txt",
      "# comment line\n"
      "R_A_FIRST Hello\n"
      "\n"
      "   \n"
      "R_A_ESCAPES Tab\\there; semi \"quoted\" back\\\\slash \\\\u0041 \\u00B0C \\u0041BC\n"
      "R_A_EMPTY\n"
      "R_A_SPACE  leading space\n"
      "R_A_CRLF ends with cr lf\r\n"
      "R_A_UTF8 \xC2\xB0" "C\n"
      "R_A_LAST no newline"));
  // Sorted before b.txt, so its block comes first.
  ASSERT_TRUE(pwtest::WriteFileBytes(in + "/a.txt", "R_B_ONE One\nR_A_FIRST Hello\n"));
  ASSERT_TRUE(pwtest::WriteFileBytes(in + "/c.txt", "# nothing yet\n"));
  ASSERT_TRUE(pwtest::WriteFileBytes(in + "/d.txt", "R_D_ONE Four\n"));
  ASSERT_EQ(Generate(in, dir / "out", dir / "log"), 0) << pwtest::ReadFileBytes(dir / "log");

  const std::string header = pwtest::ReadFileBytes(dir / "out/strings/pw_strings.h");
  const std::string source = pwtest::ReadFileBytes(dir / "out/strings/pw_strings_table.cpp");
  EXPECT_NE(header.find("enum TPwStringId : uint16_t {"), std::string::npos);
  EXPECT_NE(header.find("  R_B_ONE = 1000,\n"), std::string::npos);
  // The same name with the same text keeps its first number.
  EXPECT_NE(header.find("  R_A_FIRST = 1001,\n"), std::string::npos);
  EXPECT_EQ(header.find("R_A_FIRST = 2000"), std::string::npos);
  EXPECT_NE(header.find("  R_A_ESCAPES = 2001,\n"), std::string::npos);
  EXPECT_NE(header.find("  R_A_EMPTY = 2002,\n"), std::string::npos);
  EXPECT_NE(header.find("  R_A_LAST = 2006,\n"), std::string::npos);
  // An empty file keeps its block, so later files do not move.
  EXPECT_NE(header.find("  R_D_ONE = 4000,\n"), std::string::npos);

  EXPECT_NE(source.find("Entry(u\"Tab\\there; semi \\\"quoted\\\" back\\\\slash \\\\u0041 "
                        "\\x00B0\" u\"C \\x0041\" u\"BC\"),  // 2001\n"),
            std::string::npos)
      << source;
  EXPECT_NE(source.find("Entry(u\"\"),  // 2002\n"), std::string::npos);
  EXPECT_NE(source.find("Entry(u\" leading space\"),  // 2003\n"), std::string::npos);
  EXPECT_NE(source.find("Entry(u\"ends with cr lf\"),  // 2004\n"), std::string::npos);
  EXPECT_NE(source.find("Entry(u\"\xC2\xB0" "C\"),  // 2005\n"), std::string::npos);
  EXPECT_NE(source.find("Entry(u\"no newline\"),  // 2006\n"), std::string::npos);
  EXPECT_NE(source.find("{nullptr, 0},  // c.txt"), std::string::npos);
  EXPECT_NE(source.find("KPwStringBlockCount = 4;"), std::string::npos);
}

TEST(StringTableGeneratorTest, RejectsMalformedInput) {
  if (!HaveCmake()) GTEST_SKIP() << "cmake not on PATH";
  const char* cases[][2] = {
      {"a.txt", "R_X One\nR_X Two\n"},          // one name, two texts
      {"a.txt", "lower_case text\n"},           // not a name
      {"a.txt", "R_X bad \\q escape\n"},        // unknown escape
      {"a.txt", "R_X short \\u12 escape\n"},    // \u needs four hex digits
  };
  for (const auto& c : cases) {
    pwtest::TempDir dir;
    const std::string in = dir / "in";
    ASSERT_EQ(std::system(("mkdir '" + in + "'").c_str()), 0);
    ASSERT_TRUE(pwtest::WriteFileBytes(in + "/" + c[0], c[1]));
    EXPECT_NE(Generate(in, dir / "out", dir / "log"), 0) << c[1];
  }
}

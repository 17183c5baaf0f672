#include "foundation/line_assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TRig {
  CLineAssembler iLines;
  std::vector<std::string> iSeen;
  std::vector<bool> iInBuffer;
  TRig(int32_t aCapacity, CLineAssembler::TLineEnd aEnd, CLineAssembler::TOverflow aOverflow)
      : iLines(aCapacity, 0, aEnd, aOverflow) {
    iLines.ConstructL();
  }
  // Feeds aText in pieces of aPiece bytes.
  void Feed(const std::string& aText, size_t aPiece = 1000) {
    for (size_t at = 0; at < aText.size(); at += aPiece) {
      const std::string piece = aText.substr(at, aPiece);
      const int32_t used = iLines.Feed(reinterpret_cast<const uint8_t*>(piece.data()), static_cast<int32_t>(piece.size()),
                                       [this](const uint8_t* aLine, int32_t aLength, bool aBuffered) {
                                         iSeen.emplace_back(reinterpret_cast<const char*>(aLine), aLength);
                                         iInBuffer.push_back(aBuffered);
                                         return true;
                                       });
      EXPECT_EQ(used, static_cast<int32_t>(piece.size()));
    }
  }
};

TEST(LineAssembler, LinesComeOutTheSameHoweverTheBytesArePieced) {
  const std::string text = "$GPRMC,1\r\nshort\n\nlast\r\n";
  const std::vector<std::string> expected = {"$GPRMC,1\r", "short", "", "last\r"};
  for (size_t piece : {1u, 2u, 3u, 7u, 1000u}) {
    TRig rig(64, CLineAssembler::ELineFeed, CLineAssembler::EDropPartial);
    rig.Feed(text, piece);
    EXPECT_EQ(rig.iSeen, expected) << piece;
  }
  // A line that lies wholly in one call is handed on in place, a split one from the buffer.
  TRig rig(64, CLineAssembler::ELineFeed, CLineAssembler::EDropPartial);
  rig.Feed("one\ntw");
  rig.Feed("o\n");
  EXPECT_EQ(rig.iInBuffer, (std::vector<bool>{false, true}));
  // Nothing is left over after a reset.
  rig.Feed("partial");
  rig.iLines.Reset();
  rig.Feed("x\n");
  EXPECT_EQ(rig.iSeen.back(), "x");
}

TEST(LineAssembler, OnlyCrLfEndsALineWhenAskedFor) {
  for (size_t piece : {1u, 4u, 1000u}) {
    TRig rig(64, CLineAssembler::ECrLf, CLineAssembler::ESkipToLineEnd);
    rig.Feed("a\nb\rc\r\nd\r\n", piece);
    EXPECT_EQ(rig.iSeen, (std::vector<std::string>{"a\nb\rc\r", "d\r"})) << piece;
  }
}

TEST(LineAssembler, AnOverlongLineIsDroppedByThePolicy) {
  // Capacity 8: seven bytes before the line end at the most.
  const std::string text = "1234567\n123456789abc\nok\n";
  for (size_t piece : {1u, 5u, 1000u}) {
    TRig skip(8, CLineAssembler::ELineFeed, CLineAssembler::ESkipToLineEnd);
    skip.Feed(text, piece);
    EXPECT_EQ(skip.iSeen, (std::vector<std::string>{"1234567", "ok"})) << piece;
    TRig partial(8, CLineAssembler::ELineFeed, CLineAssembler::EDropPartial);
    partial.Feed(text, piece);
    // The first eight bytes go; the rest of the line comes out as a line of its own.
    EXPECT_EQ(partial.iSeen, (std::vector<std::string>{"1234567", "9abc", "ok"})) << piece;
  }
}

TEST(LineAssembler, AHandlerCanStopAfterALine) {
  CLineAssembler lines(16, 0, CLineAssembler::ECrLf, CLineAssembler::ESkipToLineEnd);
  lines.ConstructL();
  const std::string text = "head\r\n[DATA]\r\n$\x01\x02";
  std::vector<std::string> seen;
  const int32_t used = lines.Feed(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()),
                                  [&](const uint8_t* aLine, int32_t aLength, bool) {
                                    seen.emplace_back(reinterpret_cast<const char*>(aLine), aLength);
                                    return seen.back() != "[DATA]\r";
                                  });
  EXPECT_EQ(used, 14) << "the bytes after the stopping line are the caller's";
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(lines.Feed(nullptr, 5, [](const uint8_t*, int32_t, bool) { return true; }), 0);
}

}  // namespace

// The u-blox frame codec and the splitter that takes frames out of a receiver's stream.
#include "acquisition/ubx_frame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/ublox_setup.h"

namespace {

using namespace pwubx;

std::string Frame(uint8_t aClass, uint8_t aId, const std::string& aPayload) {
  CPwByteArray out;
  AppendFrame(out, aClass, aId, reinterpret_cast<const uint8_t*>(aPayload.data()),
              static_cast<int32_t>(aPayload.size()));
  return std::string(reinterpret_cast<const char*>(out.Ptr()), static_cast<size_t>(out.Length()));
}

struct TFrames final : MUbxFrameObserver {
  void UbxFrameReceived(const TUbxFrame& aFrame) override {
    iFrames.push_back({aFrame.iClass, aFrame.iId,
                       std::string(reinterpret_cast<const char*>(aFrame.iPayload), static_cast<size_t>(aFrame.iLength))});
  }
  struct TOne {
    uint8_t iClass, iId;
    std::string iPayload;
    bool operator==(const TOne&) const = default;
  };
  std::vector<TOne> iFrames;
};

std::string Split(const std::string& aStream, size_t aPiece, TFrames& aFrames) {
  TUbxStreamSplitter splitter;
  CPwByteArray text;
  for (size_t at = 0; at < aStream.size(); at += aPiece) {
    const size_t n = std::min(aPiece, aStream.size() - at);
    splitter.Split(reinterpret_cast<const uint8_t*>(aStream.data() + at), static_cast<int32_t>(n), text, &aFrames);
  }
  return std::string(reinterpret_cast<const char*>(text.Ptr()), static_cast<size_t>(text.Length()));
}

TEST(UbxFrame, EncodesWithTheFletcherChecksumAndDecodesOnlyWholeGoodFrames) {
  // MON-VER poll and CFG-RATE 40 ms, 1 cycle, GPS time, as the receiver's manual frames them.
  EXPECT_EQ(Frame(EClassMon, EMonVer, ""), std::string("\xB5\x62\x0A\x04\x00\x00\x0E\x34", 8));
  EXPECT_EQ(Frame(EClassCfg, ECfgRate, std::string("\x28\x00\x01\x00\x01\x00", 6)),
            std::string("\xB5\x62\x06\x08\x06\x00\x28\x00\x01\x00\x01\x00\x3E\xAA", 14));
  const std::string ack = Frame(EClassAck, EAckAck, std::string("\x06\x08", 2));
  EXPECT_EQ(ack, std::string("\xB5\x62\x05\x01\x02\x00\x06\x08\x16\x3F", 10));
  TUbxFrame frame;
  ASSERT_TRUE(DecodeFrame(reinterpret_cast<const uint8_t*>(ack.data()), 10, frame));
  EXPECT_EQ(frame.iClass, EClassAck);
  EXPECT_EQ(frame.iId, EAckAck);
  EXPECT_EQ(frame.iLength, 2);
  for (size_t i = 0; i < ack.size(); ++i) {
    std::string bad = ack;
    bad[i] = static_cast<char>(bad[i] ^ 0x10);
    EXPECT_FALSE(DecodeFrame(reinterpret_cast<const uint8_t*>(bad.data()), 10, frame)) << i;
  }
  EXPECT_FALSE(DecodeFrame(reinterpret_cast<const uint8_t*>(ack.data()), 9, frame));
}

TEST(UbxStreamSplitter, TakesFramesOutAtEverySplitAndPassesNoiseOnAsText) {
  const std::string rmc = "$GPRMC,120000.00,A,4807.0000,N,01135.0000,E,20.5,12.0,010624,,*1C\r\n";
  const std::string gga = "$GPGGA,120000.00,4807.0000,N,01135.0000,E,1,08,0.9,520.0,M,47.0,M,,*5B\r\n";
  // A frame whose payload holds a sync, CR LF and '$'; a false sync; a sync with a length
  // beyond the limit; a frame with a broken checksum; a sync at the very end.
  const std::string ack = Frame(EClassAck, EAckAck, std::string("\x06\x01", 2));
  const std::string tricky = Frame(EClassMon, EMonVer, std::string("\xB5\x62\r\n$GP\xB5", 8));
  std::string broken = Frame(EClassCfg, ECfgPrt, std::string(20, '\x01'));
  broken.back() = static_cast<char>(broken.back() + 1);
  const std::string falseSync = "\xB5\x41\xB5";
  const std::string huge = std::string("\xB5\x62\x01\x07\xFF\x7F", 6);
  const std::string stream = rmc + ack + gga + tricky + falseSync + rmc + broken + gga + huge + rmc + "\xB5";
  const std::string text = rmc + gga + falseSync + rmc + broken + gga + huge + rmc + "\xB5";
  for (size_t piece = 1; piece <= stream.size(); ++piece) {
    SCOPED_TRACE(piece);
    TFrames frames;
    const std::string got = Split(stream, piece, frames);
    // The last sync may still be the start of a frame: held back, never lost before more.
    EXPECT_EQ(got, text.substr(0, text.size() - 1));
    ASSERT_EQ(frames.iFrames.size(), 2u);
    EXPECT_EQ(frames.iFrames[0], (TFrames::TOne{EClassAck, EAckAck, std::string("\x06\x01", 2)}));
    EXPECT_EQ(frames.iFrames[1].iPayload, std::string("\xB5\x62\r\n$GP\xB5", 8));
  }
}

TEST(UbloxSetup, BaudRateNeededGrowsWithTheFixRate) {
  EXPECT_EQ(TUbloxSetup::BaudFor(1), 9600);
  EXPECT_EQ(TUbloxSetup::BaudFor(5), 19200);
  EXPECT_EQ(TUbloxSetup::BaudFor(10), 38400);
  EXPECT_EQ(TUbloxSetup::BaudFor(18), 57600);
  EXPECT_EQ(TUbloxSetup::BaudFor(25), 115200);
}

}  // namespace

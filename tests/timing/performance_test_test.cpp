#include "timing/performance_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "foundation/file_stream.h"
#include "platform/file_io.h"
#include "support/test_support.h"

namespace {

// Little-endian building blocks of "perftest.dat".
struct Bytes {
  std::string s;
  Bytes& i16(int v) {
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
    return *this;
  }
  Bytes& i32(int64_t v) {
    for (int k = 0; k < 4; ++k) s += char((v >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& text(const std::string& t) {  // compact Text, ASCII only, < 64 characters
    s += char(t.size() * 4);
    s += t;
    return *this;
  }
  Bytes& test(const std::string& name, int kind, int32_t start, int32_t finish, int32_t dist) {
    return text(name).i16(kind).i32(start).i32(finish).i32(dist);
  }
};

std::string Utf8(CPwStringC aText) {
  std::string out;
  for (int32_t i = 0; i < aText.Length(); ++i) out += static_cast<char>(aText.CharAt(i));
  return out;
}

class PerformanceTestListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("PACEWRIGHT_APPDATA");
    iHadEnv = old != nullptr;
    if (old) iOldEnv = old;
    setenv("PACEWRIGHT_APPDATA", iDir.Path().c_str(), 1);
    iList.reset(CPerformanceTestList::NewL());
    iList->AddDefaultTestsL();
  }
  void TearDown() override {
    pwplat::SetWriteBudgetForTest(-1);
    if (iHadEnv)
      setenv("PACEWRIGHT_APPDATA", iOldEnv.c_str(), 1);
    else
      unsetenv("PACEWRIGHT_APPDATA");
  }
  std::string File() const { return iDir.Path() + "/perftest.dat"; }
  // A fresh list as at start-up: the built-in tests, then the file.
  std::unique_ptr<CPerformanceTestList> Reload() const {
    std::unique_ptr<CPerformanceTestList> list(CPerformanceTestList::NewL());
    list->AddDefaultTestsL();
    list->Load();
    return list;
  }
  static std::unique_ptr<CPerformanceTest> Make(const char16_t* aName, double aStart,
                                                 double aFinish, double aDistance, int32_t aKind) {
    std::unique_ptr<CPerformanceTest> t(CPerformanceTest::NewL());
    t->Set(CPwStringC(aName, static_cast<int32_t>(std::char_traits<char16_t>::length(aName))),
           aStart, aFinish, aDistance, aKind, 0);
    return t;
  }

  pwtest::TempDir iDir;
  bool iHadEnv = false;
  std::string iOldEnv;
  std::unique_ptr<CPerformanceTestList> iList;
};

TEST_F(PerformanceTestListTest, BuiltInTestsInFixedOrderWithExactSpeeds) {
  struct Row {
    const char* name;
    int kind;
    double start, finish, distance;
  };
  const Row rows[] = {
      {"60 feet", 1, 0, 0, 18.288},          {"1/8 mile", 1, 0, 0, 201.168},
      {"1/4 mile", 1, 0, 0, 402.336},        {"1000 meters", 1, 0, 0, 1000},
      {"1 mile", 1, 0, 0, 1609.344},         {"0-60 mph", 0, 0, 26.8224, 0},
      {"0-100 kph", 0, 0, 100 / 3.6, 0},     {"0-100 mph", 0, 0, 44.704, 0},
      {"0-200 kph", 0, 0, 200 / 3.6, 0},     {"80-120 kph", 0, 80 / 3.6, 120 / 3.6, 0},
      {"60-160 kph", 0, 60 / 3.6, 160 / 3.6, 0}, {"100-200 kph", 0, 100 / 3.6, 200 / 3.6, 0},
  };
  ASSERT_EQ(12, iList->Count());
  for (int32_t i = 0; i < 12; ++i) {
    const CPerformanceTest& t = *iList->At(i);
    SCOPED_TRACE(rows[i].name);
    EXPECT_EQ(rows[i].name, Utf8(t.Name()));
    EXPECT_EQ(rows[i].kind, t.Kind());
    EXPECT_DOUBLE_EQ(rows[i].start, t.StartSpeed());
    EXPECT_DOUBLE_EQ(rows[i].finish, t.FinishSpeed());
    EXPECT_DOUBLE_EQ(rows[i].distance, t.Distance());
    EXPECT_TRUE(t.IsBuiltIn());
    EXPECT_TRUE(t.IsValid());
  }
  EXPECT_EQ(6, iList->SelectedIndex());
  EXPECT_EQ("0-100 kph", Utf8(iList->SelectedTest()->Name()));
  EXPECT_FALSE(iList->IsModified());
  EXPECT_EQ(nullptr, iList->At(12));
  EXPECT_EQ(nullptr, iList->At(-1));
}

TEST_F(PerformanceTestListTest, ValidationRefusesWhatCannotBeTimed) {
  const double nan = std::nan("");
  struct Case {
    const char16_t* name;
    double start, finish, distance;
    int32_t kind;
    bool valid;
  };
  const Case cases[] = {
      {u"Drag", 0, 0, 100, 1, true},        {u"", 0, 0, 100, 1, false},
      {u"Drag", 0, 0, 0, 1, false},         {u"Drag", 0, 0, -5, 1, false},
      {u"Drag", 0, 0, nan, 1, false},       {u"Pull", 0, 10, 0, 0, true},
      {u"Pull", 10, 10, 0, 0, false},       {u"Pull", 12, 10, 0, 0, false},
      {u"Pull", -1, 10, 0, 0, false},       {u"Pull", nan, 10, 0, 0, false},
      {u"Pull", 0, nan, 0, 0, false},       {u"Pull", 0, 10, 0, 2, false},
      // A distance test ignores its speeds, a speed test its distance.
      {u"Drag", 9, 1, 100, 1, true},        {u"Pull", 0, 10, -1, 0, true},
  };
  for (const Case& c : cases) {
    const std::unique_ptr<CPerformanceTest> t = Make(c.name, c.start, c.finish, c.distance, c.kind);
    CPwString message;
    EXPECT_EQ(c.valid, t->IsValid());
    EXPECT_EQ(c.valid ? 1 : 0, t->Validate(message));
    EXPECT_EQ(c.valid ? "" :
              "Invalid values! Please verify that the test has a name, non-zero distance and "
              "lower start speed from finish speed!",
              Utf8(message));
  }
}

TEST_F(PerformanceTestListTest, EditingProtectsBuiltInTests) {
  EXPECT_EQ(2, iList->IndexOfName(u"1/4 mile"));
  EXPECT_EQ(-1, iList->IndexOfName(u"1/4 Mile"));  // exact names only
  EXPECT_EQ(0, iList->SelectByName(u"nothing"));
  EXPECT_EQ(6, iList->SelectedIndex());

  // Built-in tests are neither replaced nor deleted.
  iList->SetSelectedIndex(3);
  EXPECT_EQ(0, iList->ReplaceSelectedL(*Make(u"Mine", 0, 0, 5, 1)));
  iList->DeleteSelected();
  EXPECT_EQ(12, iList->Count());
  EXPECT_EQ("1000 meters", Utf8(iList->At(3)->Name()));
  EXPECT_FALSE(iList->IsModified());

  // Adding selects the copy and marks the list; a copy of a built-in test is a user test.
  CPerformanceTest copy;
  copy.CopyFrom(*iList->At(9));
  EXPECT_TRUE(copy.IsBuiltIn());
  copy.Name().Copy(u"80-120 again");
  iList->AddL(copy);
  EXPECT_EQ(13, iList->Count());
  EXPECT_EQ(12, iList->SelectedIndex());
  EXPECT_FALSE(iList->SelectedTest()->IsBuiltIn());
  EXPECT_TRUE(iList->IsModified());
  iList->AddL(*Make(u"Half mile", 0, 0, 804.672, 1));
  EXPECT_EQ(13, iList->SelectedIndex());

  EXPECT_EQ(1, iList->ReplaceSelectedL(*Make(u"Half mile!", 0, 0, 805, 1)));
  EXPECT_EQ("Half mile!", Utf8(iList->At(13)->Name()));
  EXPECT_FALSE(iList->At(13)->IsBuiltIn());

  iList->SetSelectedIndex(12);
  iList->DeleteSelected();
  EXPECT_EQ(13, iList->Count());
  EXPECT_EQ(11, iList->SelectedIndex());  // the previous index
  EXPECT_EQ("Half mile!", Utf8(iList->At(12)->Name()));
  iList->SetSelectedIndex(40);  // out of range: ignored
  EXPECT_EQ(11, iList->SelectedIndex());
}

// Only the user's tests are written, after the version and their count; built-in tests
// never reach the file.
TEST_F(PerformanceTestListTest, SaveWritesUserTestsGoldenBytes) {
  iList->Save();  // nothing changed: nothing written
  EXPECT_EQ("", pwtest::ReadFileBytes(File()));

  iList->AddL(*Make(u"Sprint", 0, 0, 250.5, 1));
  iList->Save();
  EXPECT_FALSE(iList->IsModified());
  const std::string one = Bytes().i32(1).i32(1).test("Sprint", 1, 0, 0, 2505000).s;
  EXPECT_EQ(one, pwtest::ReadFileBytes(File()));

  // Rounding trunc(x * 10000 + 0.5): 50/3.6 m/s is 138888.9 units.
  iList->AddL(*Make(u"50-90 kph", 50 / 3.6, 90 / 3.6, 0, 0));
  iList->Save();
  EXPECT_EQ(Bytes()
                .i32(1)
                .i32(2)
                .test("Sprint", 1, 0, 0, 2505000)
                .test("50-90 kph", 0, 138889, 250000, 0)
                .s,
            pwtest::ReadFileBytes(File()));

  // A round trip keeps the stored precision and the order.
  std::unique_ptr<CPerformanceTestList> loaded = Reload();
  ASSERT_EQ(14, loaded->Count());
  EXPECT_EQ("Sprint", Utf8(loaded->At(12)->Name()));
  EXPECT_DOUBLE_EQ(250.5, loaded->At(12)->Distance());
  EXPECT_EQ(1, loaded->At(12)->Kind());
  EXPECT_DOUBLE_EQ(13.8889, loaded->At(13)->StartSpeed());
  EXPECT_DOUBLE_EQ(25.0, loaded->At(13)->FinishSpeed());
  EXPECT_FALSE(loaded->At(13)->IsBuiltIn());
  // Each test read is added, so the last one ends selected; loading is not an edit.
  EXPECT_EQ(13, loaded->SelectedIndex());
  EXPECT_FALSE(loaded->IsModified());
}

// A file cut anywhere loads the whole records before the cut, and is left as it is: the
// list is not marked modified, so no save writes the shorter list over it.
TEST_F(PerformanceTestListTest, TruncatedFileKeepsWholeRecordsAndTheFile) {
  const Bytes head = Bytes().i32(1).i32(3);
  const std::string r1 = Bytes().test("One", 1, 0, 0, 1000000).s;
  const std::string r2 = Bytes().test("Two", 0, 10000, 200000, 0).s;
  const std::string r3 = Bytes().test("Three", 1, 0, 0, 3000000).s;
  const std::string full = head.s + r1 + r2 + r3;
  for (size_t cut = 0; cut <= full.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string bytes = full.substr(0, cut);
    ASSERT_TRUE(pwtest::WriteFileBytes(File(), bytes));
    std::unique_ptr<CPerformanceTestList> list = Reload();
    int expected = 0;
    if (cut >= head.s.size() + r1.size()) ++expected;
    if (cut >= head.s.size() + r1.size() + r2.size()) ++expected;
    if (cut == full.size()) ++expected;
    EXPECT_EQ(12 + expected, list->Count());
    list->Save();
    EXPECT_EQ(bytes, pwtest::ReadFileBytes(File()));
  }
}

// Another version, an absurd count, records that are not tests and random bytes: no
// crash, nothing invalid in the list.
TEST_F(PerformanceTestListTest, DamagedFilesNeverCrashOrAddNonsense) {
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), Bytes().i32(2).i32(1).test("New", 1, 0, 0, 1).s));
  EXPECT_EQ(12, Reload()->Count());

  // Count far beyond the data: reading stops at the end.
  ASSERT_TRUE(pwtest::WriteFileBytes(
      File(), Bytes().i32(1).i32(0x7FFFFFFF).test("A", 1, 0, 0, 10000).s));
  EXPECT_EQ(13, Reload()->Count());
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), Bytes().i32(1).i32(-4).test("A", 1, 0, 0, 1).s));
  EXPECT_EQ(12, Reload()->Count());

  // Invalid records are skipped; an unknown kind means the rest is not a test list.
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), Bytes()
                                                 .i32(1)
                                                 .i32(5)
                                                 .test("", 1, 0, 0, 10000)           // no name
                                                 .test("Zero", 1, 0, 0, 0)           // no distance
                                                 .test("Slow", 0, 50000, 40000, 0)   // start > finish
                                                 .test("Good", 0, 0, 100000, 0)
                                                 .test("Odd", 7, 0, 100000, 0)
                                                 .test("After", 1, 0, 0, 10000)
                                                 .s));
  std::unique_ptr<CPerformanceTestList> list = Reload();
  ASSERT_EQ(13, list->Count());
  EXPECT_EQ("Good", Utf8(list->At(12)->Name()));

  // A malformed text header (two-byte form beyond 8191 characters) ends the read.
  ASSERT_TRUE(pwtest::WriteFileBytes(File(), Bytes().i32(1).i32(1).s + "\xFF\xFF" + "abc"));
  EXPECT_EQ(12, Reload()->Count());

  std::mt19937 rng(20260412);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = round % 2 ? Bytes().i32(1).i32(rng() % 8).s : std::string();
    const size_t n = rng() % 120;
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>(rng() & 0xFF);
    ASSERT_TRUE(pwtest::WriteFileBytes(File(), bytes));
    std::unique_ptr<CPerformanceTestList> fuzzed = Reload();
    for (int32_t i = 12; i < fuzzed->Count(); ++i) EXPECT_TRUE(fuzzed->At(i)->IsValid());
    EXPECT_FALSE(fuzzed->IsModified());
  }
}

// A save that cannot be completed (full medium) keeps the previous file whole.
TEST_F(PerformanceTestListTest, FailedSaveKeepsPreviousFile) {
  iList->AddL(*Make(u"Kept", 0, 0, 100, 1));
  iList->Save();
  const std::string good = pwtest::ReadFileBytes(File());
  ASSERT_FALSE(good.empty());

  iList->AddL(*Make(u"A test with a long name that does not fit", 0, 0, 200, 1));
  pwplat::SetWriteBudgetForTest(10);
  iList->Save();  // the failure is ignored
  pwplat::SetWriteBudgetForTest(-1);
  EXPECT_EQ(good, pwtest::ReadFileBytes(File()));
  EXPECT_EQ(13, Reload()->Count());
}

}  // namespace

// Vectors, segmented vectors, string lists and Bluetooth addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "foundation/pw_bt_addr.h"
#include "foundation/pw_string_list.h"
#include "foundation/pw_vector.h"

namespace {

int CompareInt(const int& a, const int& b) { return a < b ? -1 : a > b ? 1 : 0; }

struct TRecord {
  int32_t iKey;
  int32_t iTag;
};

int CompareKey(const TRecord& a, const TRecord& b) { return a.iKey - b.iKey; }

std::vector<int> Items(const CPwVector<int>& aVector) {
  return std::vector<int>(aVector.begin(), aVector.end());
}

}  // namespace

TEST(Vector, GrowthByGranularity) {
  CPwVector<int> v(3);
  EXPECT_EQ(v.Capacity(), 0);
  EXPECT_EQ(v.Append(10), 0);
  EXPECT_EQ(v.Capacity(), 3);  // first allocation holds exactly one granularity
  v.Append(11);
  v.Append(12);
  EXPECT_EQ(v.Capacity(), 3);
  EXPECT_EQ(v.Append(13), 3);
  EXPECT_EQ(v.Capacity(), 6);
  v.Insert(9, 0);
  v.Insert(14, 5);
  v.Insert(115, 2);
  EXPECT_EQ(v.Capacity(), 9);
  EXPECT_EQ(Items(v), (std::vector<int>{9, 10, 115, 11, 12, 13, 14}));
  v.Remove(2);
  v.Remove(0);
  v.Remove(v.Count() - 1);
  EXPECT_EQ(Items(v), (std::vector<int>{10, 11, 12, 13}));
  v.Reset();
  EXPECT_EQ(v.Count(), 0);
  EXPECT_EQ(v.Capacity(), 0);

  EXPECT_EQ(CPwVector<int>(0).Granularity(), 1);
  EXPECT_EQ(CPwVector<int>(-4).Granularity(), 1);

  // Appending an element of the vector itself while it has to grow.
  CPwVector<int> self(1);
  self.Append(5);
  self.Append(self.At(0));
  self.Insert(self.At(1), 0);
  EXPECT_EQ(Items(self), (std::vector<int>{5, 5, 5}));
}

TEST(VectorDeath, IndexAndSortChecks) {
  CPwVector<int> v(8);
  v.Append(1);
  EXPECT_EXIT(v.At(1), testing::ExitedWithCode(70), "PwCore 3");
  EXPECT_EXIT(v.At(-1), testing::ExitedWithCode(70), "PwCore 3");
  EXPECT_EXIT(v.Remove(1), testing::ExitedWithCode(70), "PwCore 3");
  EXPECT_EXIT(v.Insert(0, 2), testing::ExitedWithCode(70), "PwCore 3");
  EXPECT_EXIT(v.Insert(0, -1), testing::ExitedWithCode(70), "PwCore 3");
  EXPECT_EXIT(v.Sort(0), testing::ExitedWithCode(70), "PwCore 4");
  CPwVector<int> empty(8);
  EXPECT_EXIT(empty.Sort(1), testing::ExitedWithCode(70), "PwCore 4");
}

TEST(Vector, HeapSortBothDirections) {
  std::mt19937 random(7);
  for (int n : {0, 1, 2, 3, 4, 5, 8, 17, 100, 1000}) {
    CPwVector<int> v(8, &CompareInt);
    std::vector<int> reference;
    for (int i = 0; i < n; ++i) {
      int value = static_cast<int>(random() % 50);  // plenty of duplicates
      v.Append(value);
      reference.push_back(value);
    }
    v.Sort(0);
    std::sort(reference.begin(), reference.end());
    EXPECT_EQ(Items(v), reference) << n;
    v.Sort(1);
    std::reverse(reference.begin(), reference.end());
    EXPECT_EQ(Items(v), reference) << n;
  }
}

TEST(Vector, SortIsAHeapSortThatReordersEqualKeys) {
  // Equal keys come out in the order the heap sort leaves them; pin it so a change of
  // algorithm shows.
  CPwVector<TRecord> v(8, &CompareKey);
  for (int32_t i = 0; i < 5; ++i) v.Append(TRecord{1, i});
  v.Sort(0);
  std::vector<int32_t> tags;
  for (const TRecord& r : v) tags.push_back(r.iTag);
  EXPECT_EQ(tags, (std::vector<int32_t>{1, 2, 3, 4, 0}));

  CPwVector<TRecord> w(8, &CompareKey);
  for (int32_t k : {3, 1, 2}) w.Append(TRecord{k, k});
  w.Sort(1);
  EXPECT_EQ(w.At(0).iKey, 3);
  EXPECT_EQ(w.At(2).iKey, 1);
}

TEST(VectorSeg, SegmentBoundaries) {
  CPwVectorSeg<int32_t> s(2048);
  for (int32_t i = 0; i < 4097; ++i) s.Append(i);
  EXPECT_EQ(s.Count(), 4097);
  EXPECT_EQ(s.At(2047), 2047);
  EXPECT_EQ(s.At(2048), 2048);
  EXPECT_EQ(s.At(4096), 4096);
  EXPECT_EQ(s.SegmentCount(), 3);

  // Appending never moves earlier elements.
  const int32_t* first = &s.At(0);
  for (int32_t i = 0; i < 5000; ++i) s.Append(i);
  EXPECT_EQ(first, &s.At(0));

  int32_t total = 0;
  for (int32_t seg = 0; seg < s.SegmentCount(); ++seg) {
    int32_t n = 0;
    s.Segment(seg, n);
    total += n;
  }
  EXPECT_EQ(total, s.Count());

  s.Reset();
  EXPECT_EQ(s.Count(), 0);
  s.Append(5);
  EXPECT_EQ(s.At(0), 5);

  // Exactly full: the last element lives in the still-current segment.
  CPwVectorSeg<double> g(200);
  for (int i = 0; i < 200; ++i) g.Append(i * 0.5);
  EXPECT_EQ(g.Count(), 200);
  EXPECT_EQ(g.At(199), 99.5);
  EXPECT_EQ(g.SegmentCount(), 1);
}

TEST(VectorSegDeath, IndexChecks) {
  CPwVectorSeg<int> s(4);
  EXPECT_EXIT(s.At(0), testing::ExitedWithCode(70), "PwCore 3");
  for (int i = 0; i < 4; ++i) s.Append(i);
  EXPECT_EXIT(s.At(4), testing::ExitedWithCode(70), "PwCore 3");
  EXPECT_EXIT(s.At(-1), testing::ExitedWithCode(70), "PwCore 3");
}

TEST(StringList, OwnsCopiesAndSorts) {
  CPwStringList list;
  list.Sort(0);  // empty: nothing happens
  EXPECT_EQ(list.AppendCopy(u"b.nmea"), 0);
  list.Sort(1);
  EXPECT_EQ(list.Count(), 1);

  CPwString source(u"a.vbo");
  list.AppendCopy(source);
  source.Copy(u"changed");
  list.AppendCopy(u"C.dbn");
  list.AppendCopy(u"a.vbo");
  EXPECT_EQ(list.At(1), CPwStringC(u"a.vbo"));  // an own copy
  EXPECT_TRUE(list.Contains(u"C.dbn"));
  EXPECT_FALSE(list.Contains(u"c.dbn"));  // case-sensitive

  list.Sort(1);  // A to Z in code-unit order
  EXPECT_EQ(list.At(0), CPwStringC(u"C.dbn"));
  EXPECT_EQ(list.At(1), CPwStringC(u"a.vbo"));
  EXPECT_EQ(list.At(2), CPwStringC(u"a.vbo"));
  EXPECT_EQ(list.At(3), CPwStringC(u"b.nmea"));
  list.Sort(0);  // Z to A
  EXPECT_EQ(list.At(0), CPwStringC(u"b.nmea"));
  EXPECT_EQ(list.At(3), CPwStringC(u"C.dbn"));

  list.Remove(0);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.At(0), CPwStringC(u"a.vbo"));

  CPwStringList copy;
  copy.AppendCopy(u"stale");
  copy.CopyFrom(list);
  ASSERT_EQ(copy.Count(), 3);
  EXPECT_EQ(copy.At(2), CPwStringC(u"C.dbn"));
  EXPECT_NE(&copy.At(0), &list.At(0));
  copy.CopyFrom(copy);  // copying onto itself keeps the content
  EXPECT_EQ(copy.Count(), 3);
  copy.Reset();
  EXPECT_EQ(copy.Count(), 0);
}

TEST(StringListDeath, IndexChecks) {
  CPwStringList list;
  list.AppendCopy(u"x");
  EXPECT_EXIT(list.At(1), testing::ExitedWithCode(70), "PwCore 3");
  EXPECT_EXIT(list.Remove(-1), testing::ExitedWithCode(70), "PwCore 3");
}

TEST(BtAddr, BytesTextAndChecks) {
  TPwBtAddr a;
  EXPECT_FALSE(a.IsSet());
  TPwBtAddr b(CPwByteArrayC("\x00\x1A\x7D\xDA\x71\x0B"));
  EXPECT_TRUE(b.IsSet());
  EXPECT_EQ(b[1], 0x1A);
  CPwString text;
  b.AppendText(text);
  EXPECT_EQ(text, CPwStringC(u"00:1A:7D:DA:71:0B"));
  EXPECT_EQ(b.Des(), CPwByteArrayC("\x00\x1A\x7D\xDA\x71\x0B"));
  a[5] = 0x0B;
  EXPECT_FALSE(a == b);

  CPwVector<TPwBtAddr> found(8);
  found.Append(b);
  EXPECT_EQ(found.At(0), b);
  static_assert(sizeof(TPwBtAddr) == 6);

  EXPECT_EXIT(a[6], testing::ExitedWithCode(70), "PwCore 1");
  EXPECT_EXIT(b.At(-1), testing::ExitedWithCode(70), "PwCore 1");
  EXPECT_EXIT(TPwBtAddr(CPwByteArrayC("12345")), testing::ExitedWithCode(70), "PwCore 2");
}

namespace {

int gLiveParts = 0;

struct TCountedPart {
  TCountedPart() { ++gLiveParts; }
  ~TCountedPart() { --gLiveParts; }
  void ConstructL(bool aFail) {
    if (aFail) Leave(KErrCorrupt);
  }
};

// A list whose append fails once it holds aRoom items.
struct TFullList {
  int32_t iRoom = 0;
  CPwVector<TCountedPart*> iItems;
  void Append(TCountedPart* aPart) {
    if (iItems.Count() >= iRoom) Leave(KErrNoMemory);
    iItems.Append(aPart);
  }
};

}  // namespace

TEST(Ownership, FailedSecondPhaseOrAppendFreesTheObjectAndTrapsNeverReportSuccess) {
  EXPECT_EQ(Trap([] { PwNewL<TCountedPart>(true); }), KErrCorrupt);
  EXPECT_EQ(gLiveParts, 0);
  EXPECT_EQ(Trap([] { PwConstructL(new TCountedPart(), [](TCountedPart*) { throw std::bad_alloc(); }); }),
            KErrNoMemory);
  EXPECT_EQ(gLiveParts, 0);

  TFullList list;
  list.iRoom = 1;
  AppendOwnedL(list, PwNewL<TCountedPart>(false));
  EXPECT_EQ(Trap([&] { AppendOwnedL(list, PwNewL<TCountedPart>(false)); }), KErrNoMemory);
  EXPECT_EQ(gLiveParts, 1);  // the one the list owns
  delete list.iItems.At(0);
  EXPECT_EQ(gLiveParts, 0);

  // Anything that is neither a leave nor bad_alloc has its own failure code.
  EXPECT_EQ(Trap([] { throw 7; }), KErrUnknown);
  EXPECT_NE(KErrUnknown, KErrNone);
}

#include "timing/performance_test.h"

#include <cmath>
#include <memory>

#include "foundation/file_stream.h"
#include "strings/pw_strings.h"

namespace {

constexpr double KFixedPointScale = 10000.0;

// m/s or metres as stored: trunc(x * 10000 + 0.5), held inside 32 bits (a value no test can
// mean, such as NaN or a distance beyond the planet, must not wrap into another number).
int32_t EncodeFixed(double aValue) {
  const double v = std::trunc(aValue * KFixedPointScale + 0.5);
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

double DecodeFixed(int32_t aValue) { return aValue / KFixedPointScale; }

}  // namespace

// --- CPerformanceTest ---

CPerformanceTest* CPerformanceTest::NewL() { return new CPerformanceTest(); }

void CPerformanceTest::CopyFrom(const CPerformanceTest& aOther) {
  if (&aOther == this) return;
  iName.Copy(aOther.iName);
  iStartSpeed = aOther.iStartSpeed;
  iFinishSpeed = aOther.iFinishSpeed;
  iDistance = aOther.iDistance;
  iKind = aOther.iKind;
  iBuiltIn = aOther.iBuiltIn;
}

void CPerformanceTest::Set(CPwStringC aName, double aStartSpeed, double aFinishSpeed,
                           double aDistance, int32_t aKind, int32_t aBuiltIn) {
  iName.Copy(aName);
  iStartSpeed = aStartSpeed;
  iFinishSpeed = aFinishSpeed;
  iDistance = aDistance;
  iKind = aKind;
  iBuiltIn = aBuiltIn;
}

bool CPerformanceTest::IsValid() const {
  if (iName.IsEmpty()) return false;
  if (iKind == EDistanceTest) return iDistance > 0.0;
  if (iKind == ESpeedTest) return iStartSpeed >= 0.0 && iStartSpeed < iFinishSpeed;
  return false;
}

int32_t CPerformanceTest::Validate(CPwString& aMessage) const {
  if (IsValid()) return 1;
  aMessage.LoadFromResource(R_PERF_TEST_INVALID);
  return 0;
}

// --- CPerformanceTestList ---

CPerformanceTestList* CPerformanceTestList::NewL() { return new CPerformanceTestList(); }

CPerformanceTestList::~CPerformanceTestList() {
  for (CPerformanceTest* test : iTests) delete test;
}

CPerformanceTest* CPerformanceTestList::At(int32_t aIndex) const {
  return IsValidIndex(aIndex) ? iTests.At(aIndex) : nullptr;
}

void CPerformanceTestList::AddBuiltInTestL(uint16_t aNameId, double aStartSpeed,
                                           double aFinishSpeed, double aDistance, int32_t aKind,
                                           int32_t aBuiltIn) {
  std::unique_ptr<CPerformanceTest> test(CPerformanceTest::NewL());
  CPwString name;
  name.LoadFromResource(aNameId);
  test->Set(name, aStartSpeed, aFinishSpeed, aDistance, aKind, aBuiltIn);
  iTests.Append(test.get());
  test.release();
}

void CPerformanceTestList::AddDefaultTestsL() {
  constexpr double kph = 1.0 / 3.6;
  constexpr int32_t d = CPerformanceTest::EDistanceTest;
  constexpr int32_t s = CPerformanceTest::ESpeedTest;
  AddBuiltInTestL(R_PERF_TEST_60_FEET, 0, 0, 18.288, d, 1);
  AddBuiltInTestL(R_PERF_TEST_EIGHTH_MILE, 0, 0, 201.168, d, 1);
  AddBuiltInTestL(R_PERF_TEST_QUARTER_MILE, 0, 0, 402.336, d, 1);
  AddBuiltInTestL(R_PERF_TEST_1000_METERS, 0, 0, 1000, d, 1);
  AddBuiltInTestL(R_PERF_TEST_1_MILE, 0, 0, 1609.344, d, 1);
  AddBuiltInTestL(R_PERF_TEST_0_60_MPH, 0, 26.8224, 0, s, 1);
  AddBuiltInTestL(R_PERF_TEST_0_100_KPH, 0, 100 * kph, 0, s, 1);
  AddBuiltInTestL(R_PERF_TEST_0_100_MPH, 0, 44.704, 0, s, 1);
  AddBuiltInTestL(R_PERF_TEST_0_200_KPH, 0, 200 * kph, 0, s, 1);
  AddBuiltInTestL(R_PERF_TEST_80_120_KPH, 80 * kph, 120 * kph, 0, s, 1);
  AddBuiltInTestL(R_PERF_TEST_60_160_KPH, 60 * kph, 160 * kph, 0, s, 1);
  AddBuiltInTestL(R_PERF_TEST_100_200_KPH, 100 * kph, 200 * kph, 0, s, 1);
  iSelected = KDefaultSelection;
}

void CPerformanceTestList::SetSelectedIndex(int32_t aIndex) {
  if (IsValidIndex(aIndex)) iSelected = aIndex;
}

int32_t CPerformanceTestList::IndexOfName(CPwStringC aName) const {
  for (int32_t i = 0; i < iTests.Count(); ++i)
    if (iTests.At(i)->Name() == aName) return i;
  return -1;
}

int32_t CPerformanceTestList::SelectByName(CPwStringC aName) {
  const int32_t index = IndexOfName(aName);
  if (index < 0) return 0;
  iSelected = index;
  return 1;
}

void CPerformanceTestList::AddL(const CPerformanceTest& aTest) {
  std::unique_ptr<CPerformanceTest> test(CPerformanceTest::NewL());
  test->Set(aTest.Name(), aTest.StartSpeed(), aTest.FinishSpeed(), aTest.Distance(),
            aTest.Kind(), 0);
  iTests.Append(test.get());
  CPerformanceTest* added = test.release();
  SelectByName(added->Name());
  iModified = true;
}

int32_t CPerformanceTestList::ReplaceSelectedL(const CPerformanceTest& aTest) {
  CPerformanceTest* selected = SelectedTest();
  if (!selected || selected->IsBuiltIn()) return 0;
  selected->Set(aTest.Name(), aTest.StartSpeed(), aTest.FinishSpeed(), aTest.Distance(),
                aTest.Kind(), 0);
  iModified = true;
  return 1;
}

void CPerformanceTestList::DeleteSelected() {
  CPerformanceTest* selected = SelectedTest();
  if (!selected || selected->IsBuiltIn()) return;
  delete selected;
  iTests.Remove(iSelected);
  if (iSelected > 0) --iSelected;
  iModified = true;
}

void CPerformanceTestList::Load() {
  PwFileStream stream;
  stream.SetAppDataPath(KFileName);
  if (!stream.OpenRead()) return;
  ReadFrom(stream);
  stream.Close();
}

void CPerformanceTestList::ReadFrom(PwFileStream& aStream) {
  const bool wasModified = iModified;
  // Each record is read whole before it is added, so a file cut inside a record adds
  // nothing of it; KErrNoMemory is the only leave that goes on.
  const int32_t code = Trap([&] {
    if (aStream.ReadInt32() != KFileVersion) return;
    const int32_t count = aStream.ReadInt32();
    std::unique_ptr<CPerformanceTest> record(CPerformanceTest::NewL());
    for (int32_t i = 0; i < count; ++i) {
      CPwString name;
      aStream.ReadText(name);
      const int32_t kind = aStream.ReadInt16();
      const int32_t start = aStream.ReadInt32();
      const int32_t finish = aStream.ReadInt32();
      const int32_t distance = aStream.ReadInt32();
      // A kind this program does not know means the bytes are not a test list at all.
      if (kind != CPerformanceTest::ESpeedTest && kind != CPerformanceTest::EDistanceTest) return;
      record->Set(name, DecodeFixed(start), DecodeFixed(finish), DecodeFixed(distance), kind, 0);
      if (record->IsValid()) AddL(*record);
    }
  });
  iModified = wasModified;
  if (code == KErrNoMemory) Leave(code);
}

void CPerformanceTestList::Save() {
  if (!iModified) return;
  iModified = false;
  PwFileStream stream;
  stream.SetAppDataPath(KFileName);
  if (stream.Path().IsEmpty()) return;
  Trap([&] {
    stream.OpenWrite();
    WriteTo(stream);
    LeaveIfError(stream.Close());
  });
}

void CPerformanceTestList::WriteTo(PwFileStream& aStream) const {
  int32_t count = 0;
  for (const CPerformanceTest* test : iTests)
    if (!test->IsBuiltIn()) ++count;
  aStream.WriteInt32(KFileVersion);
  aStream.WriteInt32(count);
  for (const CPerformanceTest* test : iTests) {
    if (test->IsBuiltIn()) continue;
    aStream.WriteText(test->Name());
    aStream.WriteInt16(test->Kind());
    aStream.WriteInt32(EncodeFixed(test->StartSpeed()));
    aStream.WriteInt32(EncodeFixed(test->FinishSpeed()));
    aStream.WriteInt32(EncodeFixed(test->Distance()));
  }
}

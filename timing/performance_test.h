// Performance tests: what one acceleration or distance run measures (CPerformanceTest) and the
// list of all tests, the twelve built-in ones followed by the user's own, with the selected
// test (CPerformanceTestList).
//
// File "perftest.dat" in the application-data folder holds the user's tests only
// (little-endian):
//   Int32 version (1), Int32 count, then per test:
//     Text name, Int16 kind (0 speed, 1 distance),
//     Int32 start speed, Int32 finish speed (m/s x 10000), Int32 distance (m x 10000),
//   each real rounded as trunc(x * 10000 + 0.5).
#pragma once

#include <cstdint>

#include "foundation/pw_base.h"
#include "foundation/pw_string.h"
#include "foundation/pw_vector.h"

class PwFileStream;

class CPerformanceTest : public CPwBase {
 public:
  enum TKind : int32_t {
    ESpeedTest = 0,     // from the start speed to the finish speed
    EDistanceTest = 1,  // from standstill over the distance
  };

  CPerformanceTest() = default;
  ~CPerformanceTest() override = default;
  // A new empty speed test. Leaves KErrNoMemory.
  static CPerformanceTest* NewL();

  // Every field, the built-in flag included.
  void CopyFrom(const CPerformanceTest& aOther);
  // Speeds in m/s, distance in metres.
  void Set(CPwStringC aName, double aStartSpeed, double aFinishSpeed, double aDistance,
           int32_t aKind, int32_t aBuiltIn);

  const CPwString& Name() const { return iName; }
  CPwString& Name() { return iName; }
  double StartSpeed() const { return iStartSpeed; }
  double FinishSpeed() const { return iFinishSpeed; }
  double Distance() const { return iDistance; }
  int32_t Kind() const { return iKind; }
  bool IsSpeedTest() const { return iKind == ESpeedTest; }
  bool IsDistanceTest() const { return iKind == EDistanceTest; }
  bool IsBuiltIn() const { return iBuiltIn != 0; }
  void SetStartSpeed(double aValue) { iStartSpeed = aValue; }
  void SetFinishSpeed(double aValue) { iFinishSpeed = aValue; }
  void SetDistance(double aValue) { iDistance = aValue; }
  void SetKind(int32_t aKind) { iKind = aKind; }

  // A name, and a distance above 0 (distance test) or 0 <= start < finish (speed test).
  // Values that are not numbers are never valid; neither is an unknown kind.
  bool IsValid() const;
  // 1 when valid; otherwise 0 and aMessage holds the text the user is shown.
  int32_t Validate(CPwString& aMessage) const;

 private:
  CPwString iName;
  double iStartSpeed = 0.0;
  double iFinishSpeed = 0.0;
  double iDistance = 0.0;
  int32_t iKind = ESpeedTest;
  int32_t iBuiltIn = 0;
};

class CPerformanceTestList : public CPwBase {
 public:
  static constexpr int32_t KGranularity = 8;
  static constexpr int32_t KFileVersion = 1;
  // The test selected after creation: "0-100 kph".
  static constexpr int32_t KDefaultSelection = 6;
  static constexpr int32_t KBuiltInCount = 12;

  CPerformanceTestList() = default;
  ~CPerformanceTestList() override;
  // An empty list (the built-in tests are added by AddDefaultTestsL). Leaves KErrNoMemory.
  static CPerformanceTestList* NewL();

  // Appends a test named by string-table entry aNameId. The selection is not moved.
  void AddBuiltInTestL(uint16_t aNameId, double aStartSpeed, double aFinishSpeed,
                       double aDistance, int32_t aKind, int32_t aBuiltIn);
  // The twelve built-in tests in their fixed order; selects "0-100 kph".
  void AddDefaultTestsL();

  int32_t Count() const { return iTests.Count(); }
  // Null for an index out of range.
  CPerformanceTest* At(int32_t aIndex) const;
  bool IsValidIndex(int32_t aIndex) const { return aIndex >= 0 && aIndex < iTests.Count(); }

  int32_t SelectedIndex() const { return iSelected; }
  // Null when the selection is out of range.
  CPerformanceTest* SelectedTest() const { return At(iSelected); }
  // Ignored for an index out of range.
  void SetSelectedIndex(int32_t aIndex);
  // Exact name; returns 1 and selects when found, else 0 with the selection unchanged.
  int32_t SelectByName(CPwStringC aName);
  // Exact name; -1 when absent.
  int32_t IndexOfName(CPwStringC aName) const;

  // Appends a copy as a user test, selects it by name and marks the list modified.
  void AddL(const CPerformanceTest& aTest);
  // Copies over the selected test and marks the list modified; 0 (nothing changed) when the
  // selected test is built in or there is none. The copy stays a user test.
  int32_t ReplaceSelectedL(const CPerformanceTest& aTest);
  // Deletes the selected user test and moves the selection to the previous index; a
  // built-in test is never deleted.
  void DeleteSelected();

  bool IsModified() const { return iModified; }

  // Appends the user tests of "perftest.dat" when it can be read, each through AddL (so the
  // last one read ends selected). A missing, cut-off or damaged file leaves the tests read
  // so far (records that are not valid tests are skipped); another version reads nothing. Loading is not a change: the list is not
  // marked modified, so a damaged file is never rewritten without the user's edit.
  void Load();
  // When modified: clears the flag and writes the user tests to "perftest.dat". A failed
  // write keeps the previous file and is otherwise ignored.
  void Save();

  // The same on an explicit stream (the caller opened it for reading or writing).
  void ReadFrom(PwFileStream& aStream);
  void WriteTo(PwFileStream& aStream) const;

  static constexpr CPwStringC KFileName = u"perftest.dat";

 private:
  CPwVector<CPerformanceTest*> iTests{KGranularity};
  int32_t iSelected = KDefaultSelection;
  bool iModified = false;
};

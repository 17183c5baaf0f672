// The session editor: the form through which a session comes into being (a new recorded
// session, an import from foreign log files) or has its properties edited. It works on the
// values of its form items and hands a session description to the model when accepted.
#pragma once

#include <cstdint>

#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"
#include "foundation/pw_string_list.h"
#include "foundation/worker.h"

class CModel;
class CSessionInfo;

class CSessionEditorView : public CCustomView, public MSettingsListObserver, public MWorkerObserver {
 public:
  enum TMode : int32_t { EProperties = 0, ENewSession = 1, EImport = 2 };
  // The form items, in order.
  enum TItem : int32_t {
    EItemImportFormat = 0,
    EItemImportFiles = 1,
    EItemTitle = 2,
    EItemType = 3,
    EItemTrack = 4,
    EItemTest = 5,
    EItemUseObdSpeed = 6,
    EItemDriver = 7,
    EItemNotes = 8,
    EItemSaveNmea = 9,
  };

  explicit CSessionEditorView(CModel& aModel) : iModel(&aModel) {}
  ~CSessionEditorView() override;

  // The mode of the next opening (opened without one: a new session).
  void SetNextMode(int32_t aMode) { iNextMode = aMode; }
  int32_t Mode() const { return iMode; }
  CSettingsListControl* Form() const { return iForm; }
  CSettingsItem* Item(int32_t aId) const { return iForm ? iForm->ItemById(aId) : nullptr; }
  // The import files as chosen (in the order of the choice until accepted).
  const CPwStringList& ImportFiles() const { return iFiles; }
  void SetImportFilesL(const CPwStringList& aFiles);

  int32_t ViewNumber() override { return 12; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iForm; }
  int32_t CommandState(int32_t aCommand) override;
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MSettingsListObserver
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;
  int32_t EditCustom(CSettingsListControl& aList, CSettingsItem& aItem) override;
  // --- MWorkerObserver: the end of an import.
  void WorkerDone(int32_t aCode) override;
  void WorkerCancelled() override;

 private:
  void BuildFormL();
  void UpdateVisibility();
  void UpdateValueTexts();
  void Accept();
  void Dismiss();
  void Close();
  // The description the form holds (type, names, flags) on top of aBase.
  void FillDescription(CSessionInfo& aTarget) const;
  int32_t ChooseTrack();
  int32_t ChooseTest();
  int32_t ChooseDriver();
  int32_t ChooseFiles();
  void StartImport(CSessionInfo& aDescription);
  // Ends an import that did not work: the session and its files go again.
  void DropImportedSession();

  CModel* iModel = nullptr;
  CSettingsListControl* iForm = nullptr;  // owned while active
  int32_t iMode = ENewSession;
  int32_t iNextMode = ENewSession;
  bool iObdSpeedAvailable = false;
  CPwString iTrackName;
  CPwString iTestName;
  CPwString iDriver;
  CPwStringList iFiles;
  bool iImporting = false;
};

// The export dialog: the format, the scope and the CSV separators of an export of the open
// session, which runs on the worker engine under "Exporting...".
#pragma once

#include <cstdint>
#include <memory>

#include "app/controls/settings_list.h"
#include "app/gui/custom_view.h"
#include "foundation/worker.h"

class CModel;
class CSessionExporter;

class CExporterEditorView : public CCustomView, public MSettingsListObserver, public MWorkerObserver {
 public:
  enum TItem : int32_t { EItemType = 0, EItemScope = 1, EItemSeparators = 2 };

  explicit CExporterEditorView(CModel& aModel);
  ~CExporterEditorView() override;

  // The scope the next opening starts with (the route view asks for the route).
  void SetInitialScope(int32_t aScope) { iInitialScope = aScope; }
  CSettingsListControl* Form() const { return iForm; }
  CSettingsItem* Item(int32_t aId) const { return iForm ? iForm->ItemById(aId) : nullptr; }
  // The file of the last export started here (empty before).
  CPwStringC LastFile() const;
  bool Exporting() const { return iExporting; }

  int32_t ViewNumber() override { return 18; }
  void Activate() override;
  void Deactivate() override;
  CCustomControl* ContentControl() override { return iForm; }
  int32_t HandleCommand(int32_t aCommand) override;
  int32_t HandleKey(int32_t aKeyCode, int32_t aShift) override;

  // --- MSettingsListObserver
  void SettingChanged(CSettingsListControl& aList, CSettingsItem& aItem) override;
  // --- MWorkerObserver
  void WorkerDone(int32_t aCode) override;
  void WorkerCancelled() override;

 private:
  void BuildFormL();
  void UpdateEnabled();
  void StartExport();

  CModel* iModel = nullptr;
  CSettingsListControl* iForm = nullptr;  // owned while active
  std::unique_ptr<CSessionExporter> iExporter;
  int32_t iInitialScope = 3;
  bool iExporting = false;
};

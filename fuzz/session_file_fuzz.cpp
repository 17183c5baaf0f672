// The session file (-session.bin) loader, with and without the notes, for every version.
#include "foundation/pw_time.h"
#include "fuzz/fuzz_support.h"
#include "storage/session_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  static const PwTimeConverter converter;
  const pwfuzz::TScratch& scratch = pwfuzz::TScratch::Get();
  scratch.Write("Pacewright/Sessions/20070101-0000-session.bin", aData, aSize);

  CSessionInfo info;
  info.SetIdentifier(u"20070101-0000");
  info.SetStorageRoot(scratch.Root());
  if (info.Load(false, converter) == 1) {
    info.Load(true, converter);
    // Walk the notes as the lap list does.
    for (int32_t i = 0; i < info.NoteCount(); ++i) (void)info.NoteAt(i).Text().Length();
  }
  return 0;
}

// The settings file (settings.dat): read as far as it is whole, as the program does at start.
#include "foundation/file_stream.h"
#include "fuzz/fuzz_support.h"
#include "storage/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize) {
  const pwfuzz::TScratch& scratch = pwfuzz::TScratch::Get();
  scratch.Write("settings.dat", aData, aSize);

  CPwString path{scratch.Root()};
  path.Append(u"settings.dat");
  PwFileStream stream;
  stream.SetPath(path);
  if (!stream.OpenRead()) pwfuzz::Finding("cannot read the scratch file");
  CSettings settings(scratch.Root());
  Trap([&] { settings.ReadFrom(stream); });
  stream.Close();
  return 0;
}

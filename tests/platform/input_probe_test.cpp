#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include <gtest/gtest.h>

#include "platform/file_io.h"
#include "support/test_support.h"

namespace {

void WriteFile(const std::string& aPath) {
  std::FILE* file = std::fopen(aPath.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::fputs("$GPRMC\n", file);
  std::fclose(file);
}

}  // namespace

TEST(InputProbe, TellsWhatAPathNamesAndWhyItCannotBeRead) {
  pwtest::TempDir dir;
  const std::string file = dir / "log.nmea";
  WriteFile(file);

  pwplat::TInputProbe probe = pwplat::ProbeInput(file.c_str());
  EXPECT_EQ(probe.iKind, pwplat::EInputFile);
  EXPECT_EQ(probe.iReadError, 0);

  probe = pwplat::ProbeInput(dir.Path().c_str());
  EXPECT_EQ(probe.iKind, pwplat::EInputFolder);
  EXPECT_EQ(probe.iReadError, 0);

  probe = pwplat::ProbeInput((dir / "absent.nmea").c_str());
  EXPECT_EQ(probe.iKind, pwplat::EInputMissing);
  EXPECT_EQ(probe.iReadError, ENOENT);

  probe = pwplat::ProbeInput((dir / "log.nmea/below").c_str());
  EXPECT_EQ(probe.iKind, pwplat::EInputMissing);
  EXPECT_EQ(probe.iReadError, ENOTDIR);

  probe = pwplat::ProbeInput("/dev/null");
  EXPECT_EQ(probe.iKind, pwplat::EInputDevice);
  EXPECT_EQ(probe.iReadError, 0);

  // A link is followed to what it names.
  ASSERT_EQ(::symlink(file.c_str(), (dir / "link").c_str()), 0);
  EXPECT_EQ(pwplat::ProbeInput((dir / "link").c_str()).iKind, pwplat::EInputFile);

  // A pipe nobody writes to is looked at without waiting for a writer.
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  probe = pwplat::ProbeInput((dir / "pipe").c_str());
  EXPECT_EQ(probe.iKind, pwplat::EInputOther);
  EXPECT_EQ(probe.iReadError, 0);

  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
    probe = pwplat::ProbeInput(file.c_str());
    EXPECT_EQ(probe.iKind, pwplat::EInputFile);
    EXPECT_EQ(probe.iReadError, EACCES);
  }
  EXPECT_EQ(pwplat::ProbeInput(nullptr).iReadError, EINVAL);
}

#include "platform/folders.h"

#include <gtest/gtest.h>

TEST(RemovableMedia, OnlyDesktopMountFoldersCount) {
  for (const char* yes : {"/media/USB", "/media/pi/TRACKDAY", "/run/media/anna/CARD"})
    EXPECT_TRUE(pwplat::IsRemovableMountPoint(yes)) << yes;
  for (const char* no : {"/", "/media", "/media/", "/media//x", "/media/a/b/c", "/mediax/a",
                         "/run/media/anna", "/run/media/anna/CARD/", "/run/user/1000", "/home"})
    EXPECT_FALSE(pwplat::IsRemovableMountPoint(no)) << no;
}

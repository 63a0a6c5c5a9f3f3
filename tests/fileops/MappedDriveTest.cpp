// The drive-letter rewrite behind folders reached through the user's recorded network mapping.
#include <gtest/gtest.h>

#include "fileops/MappedDrive.h"

namespace {

using namespace fileops;

TEST(MappedDrive, OnlyDrivePathsHaveALetter) {
  EXPECT_EQ(DriveLetterOf("q:\\Data"), 'Q');
  EXPECT_EQ(DriveLetterOf("Q:"), 'Q');
  EXPECT_FALSE(DriveLetterOf("\\\\nas\\shop\\Data"));
  EXPECT_FALSE(DriveLetterOf("QData"));
  EXPECT_FALSE(DriveLetterOf("Q:Data")) << "relative to the drive's current folder: not rewritten";
  EXPECT_FALSE(DriveLetterOf("1:\\Data"));
}

TEST(MappedDrive, TheLetterIsReplacedByTheNetworkPathOnce) {
  EXPECT_EQ(OnRemotePath("Q:\\Data\\Tovo", "\\\\nas\\shop"), "\\\\nas\\shop\\Data\\Tovo");
  EXPECT_EQ(OnRemotePath("Q:\\Data", "\\\\nas\\shop\\"), "\\\\nas\\shop\\Data");
  EXPECT_EQ(OnRemotePath("Q:\\", "\\\\nas\\shop"), "\\\\nas\\shop");
  EXPECT_EQ(OnRemotePath("Q:", "\\\\nas\\shop"), "\\\\nas\\shop");
}

}  // namespace

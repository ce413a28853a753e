#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"
#include "platform/DiskSpace.h"

using namespace tarvexa;
using tarvexa::test::Quote;
using tarvexa::test::Run;

namespace {

struct DfRow {
  std::string source, target;
  uint64_t avail = 0;
};

// df's view of a folder: the file system, its mount point and the bytes free
// to this user.
bool Df(const std::string& folder, DfRow* row) {
  std::string out;
  if (Run("df --output=source,target,avail -B1 " + Quote(folder), &out) != 0) return false;
  std::istringstream in(out);
  std::string header;
  std::getline(in, header);
  return static_cast<bool>(in >> row->source >> row->target >> row->avail);
}

DiskSpaceInfo WithBytes(uint64_t bytes, const std::string& mount = "/data") {
  DiskSpaceInfo info;
  info.ok = true;
  info.freeBytes = bytes;
  info.mountPoint = mount;
  return info;
}

// Free space moves while the tests run (builds beside them); allow some.
constexpr uint64_t kSlack = 256ull << 20;

}  // namespace

TEST(DiskSpace, AgreesWithDfForRealFolders) {
  std::string scratch = test::ScratchDir("disk_space");
  for (const std::string& folder : {scratch, std::string("/"), std::string("/dev/shm")}) {
    DfRow df;
    if (!Df(folder, &df)) {
      ASSERT_NE(folder, scratch) << "df cannot read the test folder";
      continue;  // e.g. no /dev/shm here
    }
    DiskSpaceInfo info = QueryDiskSpace(folder);
    ASSERT_TRUE(info.ok) << folder << ": " << info.error;
    EXPECT_EQ(info.mountPoint, df.target) << folder;
    EXPECT_EQ(info.device, df.source) << folder;
    const uint64_t diff =
        info.freeBytes > df.avail ? info.freeBytes - df.avail : df.avail - info.freeBytes;
    EXPECT_LE(diff, kSlack) << folder << ": " << info.freeBytes << " vs df " << df.avail;
  }
}

TEST(DiskSpace, PathsThatDoNotExistYetUseTheirNearestExistingFolder) {
  std::string scratch = test::ScratchDir("disk_space_missing");
  DiskSpaceInfo folder = QueryDiskSpace(scratch);
  ASSERT_TRUE(folder.ok) << folder.error;

  // The output file of a recording that has not started, in folders that do
  // not exist yet, and a file name with a blank.
  DiskSpaceInfo file = QueryDiskSpace(scratch + "/new/deeper/Take 1.mp3");
  ASSERT_TRUE(file.ok) << file.error;
  EXPECT_EQ(file.mountPoint, folder.mountPoint);
  EXPECT_EQ(file.device, folder.device);

  // On a separate file system the answer must be that one's, not the root's.
  DfRow shm;
  if (Df("/dev/shm", &shm) && shm.target == "/dev/shm") {
    DiskSpaceInfo onShm = QueryDiskSpace("/dev/shm/no/such/folder/x.wav");
    ASSERT_TRUE(onShm.ok) << onShm.error;
    EXPECT_EQ(onShm.mountPoint, "/dev/shm");
  }

  // A relative path is taken from the current folder; the empty path (the
  // report at start-up) means the home folder.
  EXPECT_TRUE(QueryDiskSpace("no-such-relative/file.wav").ok);
  EXPECT_TRUE(QueryDiskSpace("").ok);
}

TEST(DiskSpace, MountTableLookup) {
  const std::string table =
      "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
      "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
      "40 27 8:3 / /home rw,relatime shared:5 - ext4 /dev/sda3 rw\n"
      "41 27 8:4 / /home2 rw,relatime - ext4 /dev/sda4 rw\n"
      "42 40 8:17 / /home/me/My\\040Music rw - vfat /dev/sdb1 rw\n"
      "43 27 0:50 / /mnt/net rw - nfs server:/export\\040a rw\n"
      "44 27 0:51 / /mnt/net rw - tmpfs over rw\n";
  std::string mp, dev;

  ASSERT_TRUE(FindMount(table, "/home/me/rec.wav", &mp, &dev));
  EXPECT_EQ(mp, "/home");
  EXPECT_EQ(dev, "/dev/sda3");  // optional fields before "-" are skipped

  // "/home" is not a prefix of "/home2x": only whole path components count.
  ASSERT_TRUE(FindMount(table, "/home2x/a", &mp, &dev));
  EXPECT_EQ(mp, "/");
  ASSERT_TRUE(FindMount(table, "/home2", &mp, &dev));
  EXPECT_EQ(mp, "/home2");

  // Escaped blanks.
  ASSERT_TRUE(FindMount(table, "/home/me/My Music/a.wav", &mp, &dev));
  EXPECT_EQ(mp, "/home/me/My Music");
  EXPECT_EQ(dev, "/dev/sdb1");
  ASSERT_TRUE(FindMount(table, "/home/me/My Musicals", &mp, &dev));
  EXPECT_EQ(mp, "/home");

  // Two mounts on one point: the later one is on top.
  ASSERT_TRUE(FindMount(table, "/mnt/net/x", &mp, &dev));
  EXPECT_EQ(dev, "over");

  EXPECT_FALSE(FindMount("", "/x", &mp, &dev));
}

TEST(DiskSpace, InfoLineAndTheHundredMegabyteWarning) {
  // 99.99 MB warns; the line keeps two blanks before the number.
  const uint64_t justUnder = 104847114;  // 99.99 MB
  EXPECT_EQ(DiskSpaceLine(WithBytes(justUnder, "/media/usb")),
            "Free space on /media/usb  99.99 MB");
  ASSERT_TRUE(LowDiskWarning(WithBytes(justUnder, "/media/usb")).has_value());
  EXPECT_EQ(*LowDiskWarning(WithBytes(justUnder, "/media/usb")),
            "Warning, less than 100 MB free space on /media/usb");

  // Exactly 100.00 MB does not warn.
  const uint64_t exactly = 100ull * 1048576;
  EXPECT_EQ(DiskSpaceLine(WithBytes(exactly)), "Free space on /data  100.00 MB");
  EXPECT_FALSE(LowDiskWarning(WithBytes(exactly)).has_value());

  // One byte less is below 100 MB although it prints as 100.00.
  EXPECT_EQ(DiskSpaceLine(WithBytes(exactly - 1)), "Free space on /data  100.00 MB");
  EXPECT_TRUE(LowDiskWarning(WithBytes(exactly - 1)).has_value());

  // Large disks: no overflow, MB are binary megabytes.
  EXPECT_EQ(DiskSpaceLine(WithBytes(5ull << 40, "/")), "Free space on /  5242880.00 MB");
  EXPECT_EQ(DiskSpaceLine(WithBytes(0, "/")), "Free space on /  0.00 MB");
  EXPECT_TRUE(LowDiskWarning(WithBytes(0, "/")).has_value());

  // Unknown space: a reason, and no warning that would be a guess.
  DiskSpaceInfo failed;
  failed.error = "Cannot read /x: Permission denied";
  EXPECT_EQ(DiskSpaceLine(failed), "Free space unknown: Cannot read /x: Permission denied");
  EXPECT_FALSE(LowDiskWarning(failed).has_value());
}

// What every binary store (Task.ini, Output.ini) stands on: the archive
// reader refusing damage with a reason instead of reading past the end, and
// the whole-file replacement leaving the old file alone when it fails.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/Archive.h"
#include "platform/AtomicFile.h"

namespace tarvexa {
namespace {

namespace fs = std::filesystem;

TEST(Archive, DamagedStringsAreRefusedWithTheirReason) {
  struct Case {
    std::string bytes;
    std::string error;  // a part of the reason; "" when the text is read
    std::string text;
  } cases[] = {
      {std::string("\x03"
                   "abc",
                   4),
       "", "abc"},
      {std::string("\xff\x03\x00"
                   "abc",
                   6),
       "", "abc"},  // a long form for a short text is read
      {std::string("\xff\xff\xff\x03\x00\x00\x00"
                   "abc",
                   10),
       "", "abc"},
      {"", "ends before a text", ""},
      {std::string("\x04"
                   "abc",
                   4),
       "claims 4 bytes where 3 are left", ""},
      {std::string("\xff\x01", 2), "ends inside a number", ""},
      {std::string("\xff\xfe\xff"
                   "ab",
                   5),
       "unknown length form", ""},  // a wide-character marker
      {std::string("\xff\xff\xff\xff\xff\xff\xff", 7), "claims 4294967295 bytes where 0", ""},
  };
  for (const Case& c : cases) {
    ArchiveReader r(c.bytes);
    std::string text = "untouched";
    EXPECT_EQ(r.Str(text), c.error.empty()) << testing::PrintToString(c.bytes);
    if (c.error.empty()) {
      EXPECT_EQ(text, c.text);
      EXPECT_EQ(r.Left(), 0u);
    } else {
      EXPECT_NE(r.Error().find(c.error), std::string::npos) << r.Error();
      EXPECT_EQ(text, "untouched");
    }
  }
}

TEST(AtomicFile, ReplacesWholeKeepsPermissionsAndFailsWithoutDamage) {
  const std::string dir = test::ScratchDir("atomic_file");
  const std::string path = dir + "/store.ini";
  test::WriteFile(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);

  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, std::string("new\0bytes", 9), &error)) << error;
  EXPECT_EQ(test::ReadFile(path), std::string("new\0bytes", 9));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(WriteFileAtomically(path, "x", &error, 0644)) << error;
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);

  // A folder that cannot take the temporary file: the call says why and
  // nothing is left behind.
  EXPECT_FALSE(WriteFileAtomically(dir + "/missing/store.ini", "y", &error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tarvexa

#include "common/file_system.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "testing/bytes_of.h"
#include "testing/temp_dir.h"

namespace common {
namespace {

using testutil::BytesOf;

// A fonts.wtd the player marked read-only is patched and stays read-only.
TEST(Win32FileSystemTest, ReadOnlyFileIsReplacedAndStaysReadOnly) {
  testutil::TempDir dir;
  RealFileSystem fs;
  const Path path = dir.path() / "fonts.wtd";
  WriteFileAtomically(fs, path, [](OutputFile& out) {
    WriteExactly(out, BytesOf("original"));
  });
  ASSERT_TRUE(::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
  WriteFileAtomically(
      fs, path, [](OutputFile& out) { WriteExactly(out, BytesOf("patched")); });
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  auto in = fs.OpenForRead(path);
  std::vector<std::byte> content(in->Size());
  ReadExactly(*in, content);
  EXPECT_EQ(content, BytesOf("patched"));
  in.reset();
  // The temporary folder is removed with everything in it.
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace common

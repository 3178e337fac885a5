#include "common/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>

#include "common/memory_file_system.h"
#include "common/platform.h"
#include "common/result.h"
#include "testing/bytes_of.h"
#include "testing/code_of.h"
#include "testing/temp_dir.h"

namespace common {
namespace {

using testutil::BytesOf;

using testutil::CodeOf;

TEST(RealFileSystemTest, ReportsWin32CodesForOsFailures) {
  testutil::TempDir dir;
  RealFileSystem fs;
  EXPECT_EQ(CodeOf([&] { fs.OpenForRead(dir.path() / "missing.wtd"); }),
            MakeHresult(0x80070002u));
  // A folder cannot be opened as a file.
  EXPECT_EQ(CodeOf([&] { fs.OpenForRead(dir.path()); }),
            MakeHresult(0x80070005u));
}

TEST(RealFileSystemTest, MissingParentFolderIsAPathError) {
  testutil::TempDir dir;
  RealFileSystem fs;
  HRESULT hr = CodeOf([&] { fs.CreateForWrite(dir.path() / "no" / "x.wtd"); });
  // Windows says ERROR_PATH_NOT_FOUND; POSIX says ENOENT for a missing
  // parent, which maps to ERROR_FILE_NOT_FOUND.
  EXPECT_TRUE(hr == MakeHresult(0x80070003u) || hr == MakeHresult(0x80070002u))
      << std::hex << hr;
}

// Status, folders and listing on the disk, with the system's own codes; the
// code that uses them is tested on the memory file system.
TEST(RealFileSystemTest, TellsKindsMakesAndListsFolders) {
  testutil::TempDir dir;
  RealFileSystem fs;
  const Path file = dir.path() / "fonts.wtd";
  { auto out = fs.CreateForWrite(file); }
  EXPECT_EQ(fs.StatusOf(file), EntryKind::RegularFile);
  EXPECT_EQ(fs.StatusOf(dir.path()), EntryKind::Folder);
  EXPECT_EQ(fs.StatusOf(dir.path() / "missing"), EntryKind::Absent);
  EXPECT_EQ(fs.StatusOf(file / "below"), EntryKind::Absent);

  const Path deep = dir.path() / "TLAD" / "pc" / "textures";
  fs.CreateFolders(deep);
  fs.CreateFolders(deep);  // already there: nothing to do
  EXPECT_EQ(fs.StatusOf(deep), EntryKind::Folder);
  // A file in the way: EEXIST on POSIX, ERROR_ALREADY_EXISTS on Windows.
  HRESULT hr = CodeOf([&] { fs.CreateFolders(file / "x"); });
  EXPECT_TRUE(hr == MakeHresult(0x80070050u) ||
              hr == MakeHresult(0x800700B7u) || hr == MakeHresult(0x80070003u))
      << std::hex << hr;

  std::vector<FolderEntry> entries = fs.ListFolder(dir.path());
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) {
              return a.name < b.name;
            });
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, Path("TLAD"));
  EXPECT_EQ(entries[0].kind, EntryKind::Folder);
  EXPECT_EQ(entries[1].name, Path("fonts.wtd"));
  EXPECT_EQ(entries[1].kind, EntryKind::RegularFile);
  hr = CodeOf([&] { fs.ListFolder(dir.path() / "missing"); });
  EXPECT_TRUE(hr == MakeHresult(0x80070002u) || hr == MakeHresult(0x80070003u))
      << std::hex << hr;
}

TEST(RealFileSystemTest, ReadsWritesAndReportsSize) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path path = dir.path() / "data.bin";
  {
    auto out = fs.CreateForWrite(path);
    WriteExactly(*out, BytesOf("hello world"));
    out->Flush();
    out->Close();
  }
  auto in = fs.OpenForRead(path);
  EXPECT_EQ(in->Size(), 11u);
  std::vector<std::byte> buffer(5);
  ReadExactly(*in, buffer);
  EXPECT_EQ(buffer, BytesOf("hello"));
  std::vector<std::byte> rest(10);
  EXPECT_EQ(in->Read(rest), 6u);
  EXPECT_EQ(in->Read(rest), 0u);
  EXPECT_EQ(CodeOf([&] { ReadExactly(*in, rest); }), kHandleEof);
}

TEST(AtomicWriteTest, ReplacesTheDestinationInPlaceOnDisk) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path path = dir.path() / "fonts.wtd";
  std::ofstream(path) << "old content";
  WriteFileAtomically(fs, path, [&](OutputFile& out) {
    auto in = fs.OpenForRead(path);  // the source is still readable
    std::vector<std::byte> old(3);
    ReadExactly(*in, old);
    WriteExactly(out, old);
    WriteExactly(out, BytesOf(" new"));
  });
  std::ifstream in(path);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "old new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(AtomicWriteTest, FailedWriteLeavesDestinationAndNoTemporary) {
  MemoryFileSystem fs;
  fs.Put("game/fonts.wtd", BytesOf("precious"));
  fs.writeLimit = 4;
  HRESULT hr = CodeOf([&] {
    WriteFileAtomically(fs, "game/fonts.wtd", [&](OutputFile& out) {
      WriteExactly(out, BytesOf("new!"));
      WriteExactly(out, BytesOf("more"));
    });
  });
  EXPECT_EQ(hr, kHandleDiskFull);
  EXPECT_EQ(fs.Get("game/fonts.wtd"), BytesOf("precious"));
  EXPECT_EQ(fs.files.size(), 1u);
}

TEST(AtomicWriteTest, FailedReplaceLeavesDestinationAndNoTemporary) {
  MemoryFileSystem fs;
  fs.Put("fonts.wtd", BytesOf("precious"));
  fs.replaceFailure = MakeHresult(0x80070020u);  // sharing violation
  HRESULT hr = CodeOf([&] {
    WriteFileAtomically(fs, "fonts.wtd", [&](OutputFile& out) {
      WriteExactly(out, BytesOf("new"));
    });
  });
  EXPECT_EQ(hr, MakeHresult(0x80070020u));
  EXPECT_EQ(fs.Get("fonts.wtd"), BytesOf("precious"));
  EXPECT_EQ(fs.files.size(), 1u);
  // Written, flushed, then moved: the order that makes the rename safe.
  ASSERT_GE(fs.log.size(), 3u);
  EXPECT_EQ(fs.log[0].rfind("create fonts.wtd.karstel-", 0), 0u);
  EXPECT_EQ(fs.log[1].rfind("flush ", 0), 0u);
  EXPECT_EQ(fs.log[2].rfind("replace ", 0), 0u);
}

TEST(RealFileSystemTest, CreatesOnlyNewFiles) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path path = dir.path() / "fonts.wtd.karstel-1-1.tmp";
  std::ofstream(path) << "planted";
  EXPECT_EQ(CodeOf([&] { fs.CreateForWrite(path); }),
            HresultFromWin32(kErrorFileExists));
  std::ifstream in(path);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "planted");
}

TEST(TemporaryNameTest, NamesTheWritingProcess) {
  EXPECT_EQ(TemporaryWriterOf("fonts.wtd.karstel-4242-7.tmp", "fonts.wtd"),
            4242u);
  for (const char* other :
       {"fonts.wtd", "fonts.wtd.karstel-backup", "fonts.wtd.karstel-12.tmp",
        "fonts.wtd.karstel--3.tmp", "fonts.wtd.karstel-1-x.tmp",
        "fonts.wtd.karstel-1-2.tmp.part", "other.wtd.karstel-1-2.tmp",
        "fonts.wtdx.karstel-1-2.tmp"})
    EXPECT_FALSE(TemporaryWriterOf(other, "fonts.wtd")) << other;
}

// A run removes what killed runs left beside the file, and nothing else.
TEST(AtomicWriteTest, RemovesAbandonedTemporariesOnly) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path destination = dir.path() / "fonts.wtd";
  std::ofstream(destination) << "old";
  auto make = [&](const std::string& name) {
    std::ofstream(dir.path() / name) << "partial";
    return dir.path() / name;
  };
  // An older version's name (a clock reading, no process), long untouched.
  Path legacy = make("fonts.wtd.karstel-981234567-0.tmp");
  std::filesystem::last_write_time(
      legacy,
      std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  Path unrelated = make("fonts.wtd.karstel-backup");
  Path otherFile = make("other.wtd.karstel-981234567-0.tmp");
  // Another run of this very process is still writing its file.
  Path live = dir.path() /
              ("fonts.wtd.karstel-" +
               std::to_string(platform::CurrentProcessId()) + "-999999.tmp");
  auto writing = fs.CreateForWrite(live);

  WriteFileAtomically(fs, destination, [&](OutputFile& out) {
    WriteExactly(out, BytesOf("new"));
  });
  EXPECT_FALSE(std::filesystem::exists(legacy));
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_TRUE(std::filesystem::exists(unrelated));
  EXPECT_TRUE(std::filesystem::exists(otherFile));
  std::ifstream in(destination);
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "new");
}

// One lock on a name at a time, in memory as on disk, and nothing left on
// disk once it is released.
TEST(FileLockTest, ASecondLockIsRefusedUntilTheFirstIsReleased) {
  testutil::TempDir dir;
  RealFileSystem real;
  MemoryFileSystem memory;
  for (FileSystem* fs :
       {static_cast<FileSystem*>(&real), static_cast<FileSystem*>(&memory)}) {
    Path path = dir.path() / "karstel.lock";
    auto first = fs->LockExclusive(path, std::chrono::milliseconds(0));
    ASSERT_TRUE(first);
    EXPECT_FALSE(fs->LockExclusive(path, std::chrono::milliseconds(60)));
    first.reset();
    EXPECT_EQ(real.EntryKindOf(path), EntryKind::Absent);
    EXPECT_TRUE(fs->LockExclusive(path, std::chrono::milliseconds(0)));
  }
  // A lock file that a killed run left is no lock: nobody holds it.
  const Path left = dir.path() / "left.lock";
  std::ofstream(left) << "killed";
  EXPECT_TRUE(real.LockExclusive(left, std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace common

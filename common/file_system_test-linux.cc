// What only a POSIX file system shows: process numbers, file locks, links
// and owners.
#include "common/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>

#include "common/result.h"
#include "testing/code_of.h"
#include "testing/temp_dir.h"

namespace common {
namespace {

using testutil::CodeOf;

std::string Content(const Path& path) {
  std::ifstream in(path);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

void WriteNew(FileSystem& fs, const Path& path) {
  WriteFileAtomically(fs, path, [](OutputFile& out) {
    const char text[] = "new";
    WriteExactly(out, std::as_bytes(std::span(text, 3)));
  });
}

// The number of a process that has ended.
pid_t EndedProcess() {
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status;
  ::waitpid(child, &status, 0);
  return child;
}

TEST(PosixAtomicWriteTest, RemovesTheFileOfAnEndedRunUnlessItIsLocked) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path destination = dir.path() / "fonts.wtd";
  std::ofstream(destination) << "old";
  std::string ended = std::to_string(EndedProcess());
  Path abandoned = dir.path() / ("fonts.wtd.karstel-" + ended + "-0.tmp");
  Path locked = dir.path() / ("fonts.wtd.karstel-" + ended + "-1.tmp");
  std::ofstream(abandoned) << "partial";
  std::ofstream(locked) << "partial";
  // A writer whose number means nothing here (another container) but
  // which still holds its file.
  int fd = ::open(locked.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  WriteNew(fs, destination);
  ::close(fd);
  EXPECT_FALSE(std::filesystem::exists(abandoned));
  EXPECT_TRUE(std::filesystem::exists(locked));
  EXPECT_EQ(Content(destination), "new");
}

// Runs `call` and reports whether it returned on its own. Opening a pipe
// for reading waits for a writer: if `call` still waits after a while, the
// test opens the pipe's other end so that it returns, and fails rather
// than hangs.
template <typename F>
bool ReturnsWithoutWaiting(const Path& pipe, F call) {
  auto done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready)
    return true;
  int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
  done.wait();
  if (writer >= 0) ::close(writer);
  return false;
}

TEST(PosixFileSystemTest, PipesAreNeitherWaitedForNorRemoved) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path destination = dir.path() / "fonts.wtd";
  std::ofstream(destination) << "old";
  std::string ended = std::to_string(EndedProcess());
  Path pipe = dir.path() / ("fonts.wtd.karstel-" + ended + "-0.tmp");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_TRUE(ReturnsWithoutWaiting(pipe, [&] { WriteNew(fs, destination); }));
  EXPECT_EQ(Content(destination), "new");
  EXPECT_EQ(fs.EntryKindOf(pipe), EntryKind::Other);
  // What `inspect PIPE` and every other reader meet.
  HRESULT hr = 0;
  EXPECT_TRUE(ReturnsWithoutWaiting(
      pipe, [&] { hr = CodeOf([&] { fs.OpenForRead(pipe); }); }));
  EXPECT_EQ(hr, kNotRegularFile);
  EXPECT_EQ(CodeOf([&] { fs.OpenForRead("/dev/null"); }), kNotRegularFile);
}

TEST(PosixAtomicWriteTest, NeverFollowsALinkAtTheTemporaryName) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path target = dir.path() / "elsewhere";
  std::ofstream(target) << "keep";
  Path link = dir.path() / "fonts.wtd.karstel-1-1.tmp";
  std::filesystem::create_symlink(target, link);
  EXPECT_EQ(CodeOf([&] { fs.CreateForWrite(link); }),
            HresultFromWin32(kErrorFileExists));
  EXPECT_EQ(Content(target), "keep");
}

TEST(PosixAtomicWriteTest, KeepsOwnerGroupAndMode) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path destination = dir.path() / "fonts.wtd";
  std::ofstream(destination) << "old";
  ASSERT_EQ(::chmod(destination.c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  // As root (sudo on a Steam Deck), the file stays the player's.
  if (root) {
    ASSERT_EQ(::chown(destination.c_str(), 12345, 23456), 0);
  }
  struct stat before;
  ASSERT_EQ(::stat(destination.c_str(), &before), 0);
  WriteNew(fs, destination);
  struct stat after;
  ASSERT_EQ(::stat(destination.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(Content(destination), "new");
  if (!root) GTEST_SKIP() << "owner change needs root; mode checked";
}

TEST(PosixAtomicWriteTest, ALinkIsReplacedAndItsTargetKept) {
  testutil::TempDir dir;
  RealFileSystem fs;
  Path target = dir.path() / "store.wtd";
  std::ofstream(target) << "old";
  Path destination = dir.path() / "fonts.wtd";
  std::filesystem::create_symlink(target, destination);
  WriteNew(fs, destination);
  EXPECT_FALSE(std::filesystem::is_symlink(destination));
  EXPECT_EQ(Content(destination), "new");
  EXPECT_EQ(Content(target), "old");
}

// A lock file that a killed run left never blocks a run, whoever made it
// and whatever its mode: as the player after a run with sudo (root's file,
// mode 0600), and in every case a file this user may not write. A live
// holder still does, even when the waiting user cannot open its file.
TEST(PosixFileLockTest, AStaleLockOfAnyOwnerAndModeDoesNotBlock) {
  testutil::TempDir dir;
  RealFileSystem fs;
  const Path path = dir.path() / "karstel.lock";
  std::ofstream(path) << "";
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  EXPECT_TRUE(fs.LockExclusive(path, std::chrono::milliseconds(0)));
  EXPECT_FALSE(std::filesystem::exists(path));
  if (::geteuid() != 0)
    GTEST_SKIP() << "another owner needs root; mode checked";

  // The player's run, in a child that is no longer root.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  auto playerLocks = [&] {
    pid_t child = ::fork();
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      try {
        ::_exit(
            RealFileSystem().LockExclusive(path, std::chrono::milliseconds(0))
                ? 0
                : 1);
      } catch (...) {
        ::_exit(2);
      }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  std::ofstream(path) << "";
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(playerLocks(), 0);
  // The child ended without releasing: its file stays, open to every user.
  struct stat left;
  ASSERT_EQ(::stat(path.c_str(), &left), 0);
  EXPECT_EQ(left.st_uid, 65534u);
  EXPECT_EQ(left.st_mode & 0777, 0666u);
  {
    auto held = fs.LockExclusive(path, std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(playerLocks(), 1);
    EXPECT_TRUE(std::filesystem::exists(path));
  }
}

}  // namespace
}  // namespace common

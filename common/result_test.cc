#include "common/result.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/scope_exit.h"
#include "common/text.h"

namespace common {
namespace {

// Captures the failure log for the duration of a test.
class RecordedLog {
 public:
  RecordedLog() {
    previous_ = SetFailureLogSink(
        [this](std::string_view line) { lines.emplace_back(line); });
  }
  ~RecordedLog() { SetFailureLogSink(std::move(previous_)); }
  std::vector<std::string> lines;

 private:
  FailureLogSink previous_;
};

[[gnu::noinline]] void FailWith(HRESULT hr) { THROW_IF_FAILED(hr); }

TEST(ResultTest, ThrowCarriesCodeAndAddresses) {
  RecordedLog log;
  try {
    FailWith(kEInvalidArg);
    FAIL() << "no exception";
  } catch (const ResultException& e) {
    EXPECT_EQ(e.GetErrorCode(), kEInvalidArg);
    EXPECT_NE(e.GetFailureInfo().failingAddress, nullptr);
    EXPECT_NE(e.GetFailureInfo().callerAddress, nullptr);
    EXPECT_NE(e.GetFailureInfo().failingAddress,
              e.GetFailureInfo().callerAddress);
    EXPECT_NE(std::string(e.what()).find("0x80070057"), std::string::npos);
  }
  ASSERT_EQ(log.lines.size(), 1u);
}

TEST(ResultTest, SuccessCodesDoNotThrow) {
  EXPECT_NO_THROW(THROW_IF_FAILED(0));
  EXPECT_NO_THROW(THROW_IF_FAILED(1));  // S_FALSE
  EXPECT_NO_THROW(THROW_HR_IF(kEFail, false));
  EXPECT_THROW(THROW_HR_IF(kEFail, true), ResultException);
}

TEST(ResultTest, LogLineHasTheDebuggerFormat) {
  FailureInfo info;
  info.hr = kEInvalidArg;
  info.failingAddress = reinterpret_cast<const void*>(0x1234);
  info.callerAddress = reinterpret_cast<const void*>(0xABCD);
  info.message = "hello";
  std::string line = FormatFailureLine(ReportKind::Exception, 7, info);
  std::regex shape(
      "^[^!]{1,64}!0000000000001234: \\(caller: 000000000000ABCD\\) "
      "Exception\\(7\\) tid\\([0-9a-f]+\\) 80070057 .*    Msg:\\[hello\\] "
      "\\n$");
  EXPECT_TRUE(std::regex_match(line, shape)) << line;

  info.callerAddress = nullptr;
  info.message.clear();
  line = FormatFailureLine(ReportKind::LogHr, 1, info);
  EXPECT_EQ(line.find("caller"), std::string::npos) << line;
  EXPECT_EQ(line.find("Msg:"), std::string::npos) << line;
  EXPECT_NE(line.find(" LogHr(1) tid("), std::string::npos) << line;
}

TEST(ResultTest, LogLineNeverExceeds2048Characters) {
  FailureInfo info;
  info.hr = kEFail;
  info.message = std::string(5000, 'x');
  std::string line = FormatFailureLine(ReportKind::LogHr, 1, info);
  EXPECT_LE(line.size(), 2048u);
  EXPECT_EQ(line.back(), '\n');
  // Characters, not bytes, and never half of one.
  info.message.clear();
  for (int i = 0; i < 1000; ++i) info.message += "生成\xF0\x9F\x98\x80";
  line = FormatFailureLine(ReportKind::LogHr, 1, info);
  std::u16string units = Utf8ToUtf16(line);
  // A pair that would be the 2048th unit is left out whole.
  EXPECT_LE(units.size(), 2048u);
  EXPECT_GE(units.size(), 2047u);
  EXPECT_EQ(units.find(u'\uFFFD'), std::u16string::npos);
  EXPECT_EQ(units.back(), u'\n');
}

TEST(ResultTest, CaughtExceptionsAreLoggedWithTheirCodes) {
  RecordedLog log;
  auto caught = [](auto thrower) {
    try {
      thrower();
    } catch (...) {
      return LOG_CAUGHT_EXCEPTION();
    }
    return kSOk;
  };
  EXPECT_EQ(caught([] { THROW_HR(kENotImpl); }), kENotImpl);
  EXPECT_EQ(caught([] { throw std::bad_alloc(); }), kEOutOfMemory);
  EXPECT_EQ(caught([] { throw std::runtime_error("boom"); }),
            MakeHresult(0x8007023Eu));
  EXPECT_EQ(caught([] { throw 42; }), MakeHresult(0x8007023Eu));
  // One line when raised (the first only) and one per catch.
  ASSERT_EQ(log.lines.size(), 5u);
  EXPECT_NE(log.lines[0].find(" Exception("), std::string::npos);
  EXPECT_NE(log.lines[1].find(" LogHr("), std::string::npos);
  EXPECT_NE(log.lines[3].find("Msg:[std::exception: boom]"), std::string::npos)
      << log.lines[3];
}

TEST(ResultTest, ErrnoMapsToWin32Codes) {
  EXPECT_EQ(HresultFromErrno(ENOENT), MakeHresult(0x80070002u));
  EXPECT_EQ(HresultFromErrno(ENOTDIR), MakeHresult(0x80070003u));
  EXPECT_EQ(HresultFromErrno(EACCES), MakeHresult(0x80070005u));
  EXPECT_EQ(HresultFromErrno(EPERM), MakeHresult(0x80070005u));
  EXPECT_EQ(HresultFromErrno(ENOSPC), MakeHresult(0x80070070u));
  EXPECT_EQ(HresultFromErrno(EROFS), MakeHresult(0x80070013u));
  EXPECT_EQ(HresultFromErrno(0), MakeHresult(0x8007029Cu));
  EXPECT_EQ(HresultFromWin32(0), 0);
  EXPECT_EQ(HresultFromWin32(0x12345), MakeHresult(0x80072345u));
}

TEST(ScopeExitTest, RunsUnlessReleased) {
  int runs = 0;
  {
    auto guard = ScopeExit([&] { ++runs; });
  }
  EXPECT_EQ(runs, 1);
  {
    auto guard = ScopeExit([&] { ++runs; });
    guard.Release();
  }
  EXPECT_EQ(runs, 1);
  {
    auto guard = ScopeExit([&] { ++runs; });
    guard.Reset();
    EXPECT_EQ(runs, 2);
  }
  EXPECT_EQ(runs, 2);
}

int closed = 0;
struct CountingTraits {
  using Type = int;
  static int Invalid() { return -1; }
  static void Close(int) { ++closed; }
};

TEST(ScopeExitTest, UniqueHandleClosesOnceAndMoves) {
  closed = 0;
  {
    UniqueHandle<CountingTraits> a(3);
    UniqueHandle<CountingTraits> b(std::move(a));
    // The moved-from handle is what this checks.
    EXPECT_FALSE(a);  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(b.get(), 3);
    UniqueHandle<CountingTraits> c;
    c = std::move(b);
    EXPECT_EQ(closed, 0);
  }
  EXPECT_EQ(closed, 1);
}

}  // namespace
}  // namespace common

// The text engines need the platform's services, started once per process
// as the dialog program starts them; the test runner does the same.
#include <gtest/gtest.h>

#include <memory>

#include "render/platform_services.h"
#include "render/render_test_util.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace render {
namespace {

class RenderEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { services_ = std::make_unique<PlatformServices>(); }
  void TearDown() override { services_.reset(); }

 private:
  std::unique_ptr<PlatformServices> services_;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new RenderEnvironment);

}  // namespace

}  // namespace render

namespace render {

bool testutil::RunningUnderWine() {
#if defined(_WIN32)
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace render

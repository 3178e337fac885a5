#include <fontconfig/fontconfig.h>
#include <ft2build.h>

#include "render/platform_services.h"
#include FT_FREETYPE_H

#include "common/result.h"
#include "common/scope_exit.h"
#include "render/platform_services-linux.h"

namespace render {
namespace {

// The one running instance; the text engines reach the library through it.
PlatformServices* current = nullptr;

constexpr HRESULT kEUnexpected = common::MakeHresult(0x8000FFFFu);

}  // namespace

PlatformServices::PlatformServices() {
  THROW_HR_IF(kEUnexpected, current != nullptr);
  state_ = std::make_unique<State>();
  FT_Library library = nullptr;
  THROW_HR_IF(common::kEFail, FT_Init_FreeType(&library) != 0);
  state_->freetype.reset(library);
  THROW_HR_IF(common::kEFail, !FcInit());
  current = this;
}

PlatformServices::~PlatformServices() {
  if (current == this) current = nullptr;
  // fontconfig keeps its configuration until the process ends: FcFini is
  // only safe once every pattern anywhere in the process is gone, which a
  // library cannot promise.
}

PlatformServices& PlatformServices::Current() {
  THROW_HR_IF(kEUnexpected, current == nullptr);
  return *current;
}

}  // namespace render

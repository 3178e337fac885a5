#include "render/platform_services.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
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
  if (current != this) return;
  current = nullptr;
  // fontconfig's state goes with the services that started it. Every
  // pattern, font set and face of the text engines is gone by now: they
  // live only while the engines do, inside the services' lifetime. Without
  // this, the leak checker of the sanitizer build reports what fontconfig
  // 2.14 loses while parsing its configuration.
  FcFini();
}

PlatformServices& PlatformServices::Current() {
  THROW_HR_IF(kEUnexpected, current == nullptr);
  return *current;
}

}  // namespace render

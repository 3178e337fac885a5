// What the Linux text engines get from the running PlatformServices.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include "common/scope_exit.h"
#include "render/platform_services.h"

namespace render {

struct FreeTypeLibraryTraits {
  using Type = FT_Library;
  static Type Invalid() { return nullptr; }
  static void Close(Type library) { FT_Done_FreeType(library); }
};

struct PlatformServices::State {
  common::UniqueHandle<FreeTypeLibraryTraits> freetype;
};

}  // namespace render

// Kept apart from the command so that programs and tests which bring their
// own atlas builder do not need the renderers linked in.
#include "app/generation.h"
#include "render/glyph_atlas.h"

namespace app {

AtlasBuilder SystemAtlasBuilder() { return render::BuildGlyphAtlas; }

}  // namespace app

// Test control of the GDI font stand-in: the glyph source behind every font made from now on.
#pragma once

namespace plat {
class GlyphSource;
}

namespace plat::test {

// Fonts made after this call take their faces from `source` (null: the system's fonts again). Fonts
// made before keep theirs.
void SetGlyphSource(GlyphSource* source);

}  // namespace plat::test

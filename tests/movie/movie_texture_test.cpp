// Movie frames in texture graphs: the frame callback writes each tile's part of the frame where that
// tile lies in its texture, so a graph that shares its parent's texture is refreshed in its own window.
#include <vector>

#include "movie_test_fixture.h"
#include "orbel.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/movie/movie_system.h"

namespace orbel::testing {
namespace {

class MovieTextureTest : public MovieLibraryTest {};

// No graph of the library but the movie's own gets the callback (its tiles own their textures), and
// the stand-in has no YUV surfaces to blit frames from: a derived graph is handed to the callback here,
// with a surface of the texture's format standing in for the frame.
TEST_F(MovieTextureTest, AFrameReachesATileAtItsPlaceInTheSharedTexture) {
  ASSERT_EQ(Start(GraphRoad{0, 32, 1}), 0);
  const int graph = ::LoadGraphFile(WriteMovie("film.ogv", MovieSpec{}).c_str(), 0);
  ASSERT_NE(graph, -1) << LogText();
  ASSERT_EQ(GetGraphRecord(graph)->format.texture, 1);
  const SurfaceDataRecord* texture =
      GetSurfaceDataRecord(GetSurface3DData(GetGraphRecord(graph)->parts[0])->surfaceData);
  ASSERT_NE(texture, nullptr);
  MovieHandleRecord* movie = GetMovieData(GetGraphRecord(graph)->movie);
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT | plat::DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_OFFSCREENPLAIN | plat::DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = 64;
  desc.dwHeight = 48;
  desc.ddpfPixelFormat = *D3D_GetTextureDDPixelFormat(static_cast<int>(texture->formatCode));
  plat::IDirectDrawSurface7* frame = nullptr;
  ASSERT_EQ(GetDirectDrawObject()->CreateSurface(&desc, &frame, nullptr), plat::DD_OK);
  plat::DDBLTFX fx{};
  fx.dwSize = sizeof fx;
  fx.dwFillColor = 0xFF0000FFu;
  ASSERT_EQ(frame->Blt(nullptr, nullptr, nullptr, plat::DDBLT_COLORFILL, &fx), plat::DD_OK);
  movie->theora->yuvSurface = frame;
  movie->theora->yuvConverted = 1;

  const int child = DeriveGraph(32, 16, 32, 32, graph);
  ASSERT_NE(child, -1);
  std::vector<uint32_t> before;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) before.push_back(GraphPixel(graph, x, y));
  }
  EXPECT_EQ(D3D_UpdateMovieTexture(movie, GetGraphRecord(child)), 0);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const bool inChild = x >= 32 && y >= 16;
      ASSERT_EQ(GraphPixel(graph, x, y), inChild ? 0x0000FFu : before[static_cast<size_t>(y) * 64 + x]) << x << "," << y;
    }
  }
  movie->theora->yuvSurface = nullptr;
  frame->Release();
}

}  // namespace
}  // namespace orbel::testing

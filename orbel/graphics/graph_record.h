// Graph records and surface-data records. A graph (handle kind 0x08000000) names a GraphRecord: its
// format, size, the 2D surface holding its pixels (or its texture tiles), the file it came from for a
// reload after the display was lost, and an optional movie. The pixels live in surface-data records
// (kind 0x38000000), shared by reference between 2D surfaces so that derived graphs see their
// parent's pixels. Lights (kind 0x60000000) are kept here too.
// Depends on handle_table.h, the software renderer's MemImg and the DirectDraw stand-in's surface.
#pragma once

#include <cstdint>

#include "orbel/graphics/handle_table.h"
#include "orbel/softrender/mem_img.h"

namespace plat {
class IDirectDrawSurface7;
}

namespace orbel {

// ---- Records ----------------------------------------------------------------------------------------

// How a graph's (or a surface data's) pixels are held. Nine bytes, in this order.
struct GraphFormatBlock {
  uint8_t texture;         // 1: Direct3D texture tiles; 0: 2D surfaces
  uint8_t alpha;           // the pixels carry an alpha channel
  uint8_t drawValid;       // can be selected as a draw screen
  uint8_t memImg;          // 2D pixels held in a memory image, not a DirectDraw surface
  uint8_t unmanaged;       // texture not managed by Direct3D (texture graphs only)
  uint8_t alphaTest;       // alpha testing when drawn
  uint8_t colorBitDepth;   // 16 or 32
  uint8_t alphaForce;      // texture graphs: alpha taken from red (blend graphs); 0 in this program
  uint8_t paletted;        // 2D graph made from an 8-bit paletted image without alpha
};

constexpr int kGraphMaxParts = 64;
constexpr int kGraphFileNameSize = 64;
constexpr int kGraphDirectorySize = 256;

struct GraphRecord {
  uint32_t check;                         // check number of the handle
  int32_t* deleteNotify;                  // set to 1 when the graph is deleted, or null
  int32_t handle;                         // the graph's own handle
  GraphFormatBlock format;
  uint32_t mirror;                        // reload the picture mirrored left-right
  uint32_t reserved;
  int32_t parts[kGraphMaxParts];          // 2D: its one 2D surface handle; texture: tile handles
  uint32_t partCount;
  char fileName[kGraphFileNameSize];      // file the graph was loaded from; empty: none
  char directory[kGraphDirectorySize];    // current directory at load time
  int32_t sourceX;                        // position of the graph inside the loaded picture
  int32_t sourceY;
  int32_t width;
  int32_t height;
  int32_t movie;                          // movie playing into the graph, -1 none
  uint32_t needsRestore;                  // 1: pixels were lost and must be reloaded
  void* buffer;                           // owned pixel buffer freed on delete, or null
  uint32_t ownsMovie;                     // 1: this graph opened the movie and closes it
  uint32_t unrestorable;                  // 1: name or directory did not fit; never reloaded
};

// Pixel-format codes of a surface data (0-8 are texture formats).
constexpr uint32_t kSurfaceCodeDirectDraw = 9;
constexpr uint32_t kSurfaceCodeMemImg16 = 10;
constexpr uint32_t kSurfaceCodeMemImg16Alpha = 11;
constexpr uint32_t kSurfaceCodeMemImg32 = 12;
constexpr uint32_t kSurfaceCodeMemImg32Alpha = 13;

struct SurfaceDataRecord {
  uint32_t check;
  int32_t* deleteNotify;
  GraphFormatBlock format;
  uint32_t memImgUse;                     // 1: the pixels are `image`, not `surface`
  uint32_t formatCode;                    // pixel-format code above
  uint32_t depthBuffer;                   // a depth buffer is wanted
  plat::IDirectDrawSurface7* surface;     // DirectDraw pixels, or null
  MemImg image;                           // memory-image pixels
  plat::IDirectDrawSurface7* depthSurface;
  MemImg depthImage;
  uint32_t transColor;                    // 0x00RRGGBB
  uint16_t width;
  uint16_t height;
  int32_t refCount;
  int32_t lockPitch;
  void* lockPixels;
  int32_t lockCount;
};

struct LightRecord {
  uint32_t check;
  int32_t handle;
  uint32_t type;                          // 1 point, 2 spot, 3 directional
  float diffuse[4];
  float specular[4];
  float ambient[4];
  float position[3];
  float direction[3];
  float range;
  float falloff;
  float attenuation[3];
  float theta;
  float phi;
  int32_t deviceIndex;                    // -1 while not given to the device
  uint32_t enabled;
  uint32_t changed;
};

using GraphTable = HandleTable<GraphRecord, kHandleKindGraph, kGraphHandleLimit>;
using SurfaceDataTable = HandleTable<SurfaceDataRecord, kHandleKindSurfaceData, kSurfaceDataHandleLimit>;
using LightTable = HandleTable<LightRecord, kHandleKindLight, kLightHandleLimit>;

extern GraphTable gGraphTable;
extern SurfaceDataTable gSurfaceDataTable;
extern LightTable gLightTable;
extern uint32_t gLightsChanged;  // the Direct3D side re-applies lights when set

// ---- New-graph settings -----------------------------------------------------------------------------

struct NewGraphSettings {
  int32_t colorBitDepth;   // 0: follow the screen
  int32_t drawValid;       // 0
  int32_t alphaTest;       // 1
  int32_t alpha;           // 0
  int32_t memImg;          // 0
  int32_t unmanaged;       // 0
};
extern NewGraphSettings gNewGraph;

// Back to the defaults above. (Texture-graph use is the graphics manager's setting.)
void ResetNewGraphSettings();
int SetNewGraphColorBitDepth(int depth);
int GetNewGraphColorBitDepth();
// SetNewGraphDrawValidFlag is declared in graphics_system.h.
int SetNewGraphAlphaTestFlag(int flag);
int GetNewGraphAlphaTestFlag();
int SetNewGraphAlphaFlag(int flag);
int GetNewGraphAlphaFlag();
// Stores the flag under hardware rendering, 1 under software rendering.
int SetNewGraphMemImgFlag(int flag);
// Stores (flag != 1) under hardware rendering, 1 under software rendering.
int SetNewGraphUseVideoMemory(int flag);
int GetNewGraphMemImgFlag();
int SetNewGraphUnmanagedTexture(int flag);
int GetNewGraphUnmanagedTexture();

// ---- Graphs -----------------------------------------------------------------------------------------

// Empties the graph and surface-data tables (check counters kept, so stale handles stay stale).
// Called by the graphics manager at its start; records must have been deleted before.
void ResetGraphTables();

// Creates the record only (no pixels). Handle; a full table or no memory is a fatal exit.
int AddGraphRecord(int width, int height, int textureAllowed, GraphRecord** out, int alpha, int paletted);
// AddGraphRecord and the graph's pixels. Handle, or -1 (the half-made record is removed, logged).
int CreateGraphRecordSurfaces(int width, int height, int textureAllowed, int alpha, int paletted);
// MakeEmptyGraph, DeleteGraphHandle, IsValidGraphHandle, GetGraphExtent: graphics_system.h.
// Deletes every graph (nothing before the graphics manager started). 0.
int DeleteAllGraphs(int logFlag);
// Inline: every draw looks its graph up.
inline GraphRecord* GetGraphRecord(int graph) { return gGraphTable.Lookup(graph); }
int GetGraphHandleValue(const GraphRecord* record);
// Stores the pointer and sets the int to 0; it becomes 1 when the graph is deleted. 0 or -1.
int SetGraphDeleteNotify(int graph, int32_t* notify);

// ---- Surface data -----------------------------------------------------------------------------------

// A record with its pixels made (MakeSurfaceDataImage). Handle or -1.
int AddSurfaceData(int refCount, int width, int height, uint32_t transColor, const GraphFormatBlock* format);
inline SurfaceDataRecord* GetSurfaceDataRecord(int handle) { return gSurfaceDataTable.Lookup(handle); }
// New reference count, or -1 for a bad handle.
int AddSurfaceDataRef(int handle);
int ReleaseSurfaceDataRef(int handle);

// ---- Lights -----------------------------------------------------------------------------------------

int CreateLight();
int CreateDirectionalLight(float x, float y, float z);
int DeleteLight(int light);
int DeleteAllLights();

}  // namespace orbel

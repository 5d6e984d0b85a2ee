// The AVX2 files of the rasteriser (d3d7_span_avx2.cpp, d3d7_bilinear_avx2.cpp, d3d7_blit_plan.cpp)
// compile their routines for AVX2 one function at a time with D3D_AVX2, so that the rest of the
// platform layer keeps the x86-64 baseline; callers check the processor first. No D3D_AVX2 off x86.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define D3D_AVX2 __attribute__((target("avx2")))
#endif

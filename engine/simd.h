// Whether the hand-vectorised paths are built: wherever SSE2 is (every x86-64 processor),
// unless the portable build asks for the plain paths, which a port to another processor runs
// and which the test command keeps right.
#pragma once

#if defined(__SSE2__) && !defined(SONBALANCER_PORTABLE)
#define SONBALANCER_SSE2 1
#include <emmintrin.h>
#endif

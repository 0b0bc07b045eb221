#include "common/MemoryTuning.h"

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Blocks of this size or more are mapped and given back when freed: every picture of 640x480
// and up, the encoders' frame buffers, the decoders' frames.
constexpr int kMappedFromBytes = 1 << 20;
// Arenas for the program's threads (glibc makes up to eight per core otherwise).
constexpr int kArenas = 4;

} // namespace

void tunePictureMemory()
{
#if defined(__GLIBC__)
    if (std::getenv("GLIBC_TUNABLES"))
        return;
    mallopt(M_MMAP_THRESHOLD, kMappedFromBytes);
    mallopt(M_ARENA_MAX, kArenas);
#endif
}

// tunePictureMemory: the allocator settings of a program that hands pictures of a few
// megabytes from thread to thread for hours. Called once at start, before any thread.
//
// glibc raises its threshold for serving a block from fresh mapped pages each time such a
// block is freed, so after the first pictures every later picture, encoder buffer and
// decoded frame of that size comes from the heaps of the threads' arenas instead, where a
// freed block stays: the resident size climbs in steps of pictures through a long take and
// never comes back. A fixed threshold keeps blocks of a megabyte or more mapped (given back
// the moment they are freed), and fewer arenas keep the small blocks of the many capture,
// encoder and codec threads together. Pictures themselves are reused by their pools, so the
// mapping costs nothing per picture.
//
// A GLIBC_TUNABLES setting in the environment is the user's own tuning and is left alone.
// Nothing on other C libraries.
#pragma once

void tunePictureMemory();

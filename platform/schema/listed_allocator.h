// The heap allocator of compiled schemas: malloc and free, with every live
// block on one process-wide list.
//
// rapidjson holds some blocks of a compiled schema (its copies of member
// names) only through pointers that carry flags in their top 16 bits, which
// the leak checker cannot follow. A schema kept compiled for the life of the
// process then read as leaked, and a fuzz run's leak check stopped on it
// whenever an input grew anything else. On the list, every live block is
// reachable from a global. A pool would do the same, but the compiler frees
// many temporaries (pointer texts, name lists) that a pool would keep.
#pragma once

#include <cstddef>

namespace TarnSchemaValidation {

class ListedAllocator {
public:
    static const bool kNeedFree = true;

    ListedAllocator() = default;
    // Never copied: rapidjson makes each allocator on the heap.
    ListedAllocator(const ListedAllocator&) = delete;
    ListedAllocator& operator=(const ListedAllocator&) = delete;

    // As rapidjson's heap allocator: no block for 0 bytes; a Realloc to 0
    // bytes frees.
    void* Malloc(size_t size);
    void* Realloc(void* original, size_t originalSize, size_t newSize);
    static void Free(void* block);
};

} // namespace TarnSchemaValidation

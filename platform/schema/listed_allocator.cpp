#include "schema/listed_allocator.h"

#include <cstdlib>
#include <mutex>

namespace TarnSchemaValidation {
namespace {

// Each block starts with its links; the header keeps malloc's alignment.
struct alignas(std::max_align_t) Header {
    Header* prev;
    Header* next;
};

// Constant-initialized and never destroyed, so that blocks freed while the
// process exits (kept schemas) still find it.
Header gLive{&gLive, &gLive};

// Compiles run in any thread.
std::mutex& ListMutex() {
    static std::mutex* mutex = new std::mutex;  // never destroyed, as above
    return *mutex;
}

void Link(Header* h) {
    h->prev = &gLive;
    h->next = gLive.next;
    gLive.next->prev = h;
    gLive.next = h;
}

void Unlink(Header* h) {
    h->prev->next = h->next;
    h->next->prev = h->prev;
}

} // namespace

void* ListedAllocator::Malloc(size_t size) {
    if (size == 0) return nullptr;
    auto* h = static_cast<Header*>(std::malloc(sizeof(Header) + size));
    if (!h) return nullptr;
    std::lock_guard<std::mutex> lock(ListMutex());
    Link(h);
    return h + 1;
}

void* ListedAllocator::Realloc(void* original, size_t, size_t newSize) {
    if (!original) return Malloc(newSize);
    if (newSize == 0) {
        Free(original);
        return nullptr;
    }
    Header* h = static_cast<Header*>(original) - 1;
    std::lock_guard<std::mutex> lock(ListMutex());
    Unlink(h);
    auto* moved = static_cast<Header*>(std::realloc(h, sizeof(Header) + newSize));
    Link(moved ? moved : h);  // a failed realloc leaves the block as it was
    return moved ? moved + 1 : nullptr;
}

void ListedAllocator::Free(void* block) {
    if (!block) return;
    Header* h = static_cast<Header*>(block) - 1;
    {
        std::lock_guard<std::mutex> lock(ListMutex());
        Unlink(h);
    }
    std::free(h);
}

} // namespace TarnSchemaValidation

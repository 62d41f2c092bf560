#include "bench/capture/CountingAllocator.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

// glibc's allocator under its internal names; the replacements below forward to it.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* memory, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* memory);
}

namespace {

std::atomic<std::int64_t> inUse{0};
std::atomic<std::int64_t> peak{0};

void Count(std::int64_t delta) {
    const std::int64_t now = inUse.fetch_add(delta, std::memory_order_relaxed) + delta;
    std::int64_t seen = peak.load(std::memory_order_relaxed);
    while (now > seen && !peak.compare_exchange_weak(seen, now, std::memory_order_relaxed)) {
    }
}

void* Counted(void* memory) {
    if (memory != nullptr) {
        Count(static_cast<std::int64_t>(malloc_usable_size(memory)));
    }
    return memory;
}

void Uncount(void* memory) {
    if (memory != nullptr) {
        Count(-static_cast<std::int64_t>(malloc_usable_size(memory)));
    }
}

}  // namespace

namespace bench {

std::int64_t HeapInUse() {
    return inUse.load();
}
std::int64_t HeapPeak() {
    return peak.load();
}
void ResetPeak() {
    peak.store(inUse.load());
}

}  // namespace bench

extern "C" {

void* malloc(std::size_t size) {
    return Counted(__libc_malloc(size));
}

void* calloc(std::size_t count, std::size_t size) {
    return Counted(__libc_calloc(count, size));
}

void* realloc(void* memory, std::size_t size) {
    Uncount(memory);
    void* moved = __libc_realloc(memory, size);
    if (moved == nullptr && size != 0) {
        Counted(memory);  // the old block is still there
        return nullptr;
    }
    return Counted(moved);
}

void free(void* memory) {
    Uncount(memory);
    __libc_free(memory);
}

void* memalign(std::size_t alignment, std::size_t size) {
    return Counted(__libc_memalign(alignment, size));
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    return memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    void* memory = memalign(alignment, size);
    if (memory == nullptr) {
        return ENOMEM;
    }
    *result = memory;
    return 0;
}

void* valloc(std::size_t size) {
    return memalign(4096, size);
}

}  // extern "C"

#include "MallocCounter.h"

#include <atomic>
#include <cerrno>
#include <malloc.h>

extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void *__libc_memalign(std::size_t, std::size_t);
void __libc_free(void *);
}

namespace {

std::atomic<std::size_t> inUse{0};
std::atomic<std::size_t> highest{0};

void added(void *p)
{
    if (!p)
        return;
    const std::size_t now = inUse.fetch_add(malloc_usable_size(p), std::memory_order_relaxed) + malloc_usable_size(p);
    std::size_t seen = highest.load(std::memory_order_relaxed);
    while (now > seen && !highest.compare_exchange_weak(seen, now, std::memory_order_relaxed)) { }
}

void removed(void *p)
{
    if (p)
        inUse.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
}

} // namespace

namespace heap {

std::size_t current()
{
    return inUse.load();
}

std::size_t peak()
{
    return highest.load();
}

void resetPeak()
{
    highest.store(inUse.load());
}

} // namespace heap

extern "C" {

void *malloc(std::size_t n)
{
    void *p = __libc_malloc(n);
    added(p);
    return p;
}

void *calloc(std::size_t count, std::size_t n)
{
    void *p = __libc_calloc(count, n);
    added(p);
    return p;
}

void *realloc(void *old, std::size_t n)
{
    removed(old);
    void *p = __libc_realloc(old, n);
    added(p ? p : (n ? old : nullptr));
    return p;
}

void free(void *p)
{
    removed(p);
    __libc_free(p);
}

void *memalign(std::size_t alignment, std::size_t n)
{
    void *p = __libc_memalign(alignment, n);
    added(p);
    return p;
}

void *aligned_alloc(std::size_t alignment, std::size_t n)
{
    return memalign(alignment, n);
}

int posix_memalign(void **out, std::size_t alignment, std::size_t n)
{
    void *p = memalign(alignment, n);
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

} // extern "C"

// The counting allocator: the C library's allocator behind counting entry points.
//
// The C library lets a program replace malloc, free and their relatives as a set; the
// replacements here forward to its own implementation, which it exports under
// __libc_ names, so every block still comes from and goes back to the same heap.

#include "alloc_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdlib>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void __libc_free(void* block);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
}

namespace {
std::atomic<uint64_t> allocations{0};

void count() { allocations.fetch_add(1, std::memory_order_relaxed); }
}  // namespace

uint64_t bench::allocationCount() { return allocations.load(std::memory_order_relaxed); }

extern "C" {

void* malloc(size_t size) noexcept {
  count();
  return __libc_malloc(size);
}

void* calloc(size_t count_, size_t size) noexcept {
  count();
  return __libc_calloc(count_, size);
}

void* realloc(void* block, size_t size) noexcept {
  count();
  return __libc_realloc(block, size);
}

void free(void* block) noexcept { __libc_free(block); }

void* memalign(size_t alignment, size_t size) noexcept {
  count();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
  count();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  count();
  void* block = __libc_memalign(alignment, size);
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}

void* valloc(size_t size) noexcept {
  count();
  return __libc_valloc(size);
}

void* pvalloc(size_t size) noexcept {
  count();
  return __libc_pvalloc(size);
}

}  // extern "C"

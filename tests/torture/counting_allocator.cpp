#include "tests/torture/counting_allocator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_count{0};
std::atomic<long> g_failAt{0};
std::atomic<bool> g_failed{false};

void* Allocate(size_t size) {
  if (!CountingAllocatorTakeTurn()) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}

// Aligned blocks come from malloc too, with the block's own start stored just
// before the aligned address, so that one free path serves every form.
void* AllocateAligned(size_t size, std::align_val_t alignment) {
  const size_t align = static_cast<size_t>(alignment);
  if (!CountingAllocatorTakeTurn()) return nullptr;
  void* block = std::malloc(size + align + sizeof(void*));
  if (block == nullptr) return nullptr;
  char* const first = static_cast<char*>(block) + sizeof(void*);
  void** const aligned = reinterpret_cast<void**>(first + (align - reinterpret_cast<uintptr_t>(first) % align) % align);
  aligned[-1] = block;
  return aligned;
}

void FreeAligned(void* pointer) {
  if (pointer != nullptr) std::free(static_cast<void**>(pointer)[-1]);
}

void* AllocateOrThrow(size_t size) {
  void* pointer = Allocate(size);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

void* AllocateAlignedOrThrow(size_t size, std::align_val_t alignment) {
  void* pointer = AllocateAligned(size, alignment);
  if (pointer == nullptr) throw std::bad_alloc();
  return pointer;
}

}  // namespace

void CountingAllocatorStart(long failAt) {
  g_count = 0;
  g_failed = false;
  g_failAt = failAt;
  g_counting = true;
}

long CountingAllocatorStop(void) {
  g_counting = false;
  g_failAt = 0;
  return g_count;
}

int CountingAllocatorFailed(void) { return g_failed ? 1 : 0; }

int CountingAllocatorTakeTurn() {
  if (!g_counting) return 1;
  const long number = ++g_count;
  if (number != g_failAt) return 1;
  g_failed = true;
  return 0;
}

void* operator new(size_t size) { return AllocateOrThrow(size); }
void* operator new[](size_t size) { return AllocateOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(size_t size, std::align_val_t alignment) { return AllocateAlignedOrThrow(size, alignment); }
void* operator new[](size_t size, std::align_val_t alignment) { return AllocateAlignedOrThrow(size, alignment); }
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, alignment);
}

void operator delete(void* pointer) noexcept { std::free(pointer); }
void operator delete[](void* pointer) noexcept { std::free(pointer); }
void operator delete(void* pointer, size_t) noexcept { std::free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { std::free(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { std::free(pointer); }
void operator delete(void* pointer, std::align_val_t) noexcept { FreeAligned(pointer); }
void operator delete[](void* pointer, std::align_val_t) noexcept { FreeAligned(pointer); }
void operator delete(void* pointer, size_t, std::align_val_t) noexcept { FreeAligned(pointer); }
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept { FreeAligned(pointer); }
void operator delete(void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(pointer); }
void operator delete[](void* pointer, std::align_val_t, const std::nothrow_t&) noexcept { FreeAligned(pointer); }

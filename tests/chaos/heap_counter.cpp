#include "chaos/heap_counter.hpp"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::int64_t> live{0};
std::atomic<std::uint64_t> count{0};

// Each block carries its size in front, so a delete without one knows it.
constexpr std::size_t kHead = alignof(std::max_align_t);

void* Take(std::size_t size) {
  void* raw = std::malloc(size + kHead);
  if (raw == nullptr)
    return nullptr;
  *static_cast<std::size_t*>(raw) = size;
  live += static_cast<std::int64_t>(size);
  ++count;
  return static_cast<char*>(raw) + kHead;
}

void Give(void* p) {
  if (p == nullptr)
    return;
  void* raw = static_cast<char*>(p) - kHead;
  live -= static_cast<std::int64_t>(*static_cast<std::size_t*>(raw));
  std::free(raw);
}

void* TakeOrThrow(std::size_t size) {
  void* p = Take(size);
  if (p == nullptr)
    throw std::bad_alloc();
  return p;
}

}  // namespace

namespace tavro::chaos {

std::int64_t LiveHeapBytes() {
  return live.load();
}

std::uint64_t HeapAllocations() {
  return count.load();
}

}  // namespace tavro::chaos

void* operator new(std::size_t size) {
  return TakeOrThrow(size);
}
void* operator new[](std::size_t size) {
  return TakeOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Take(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Take(size);
}
void operator delete(void* p) noexcept {
  Give(p);
}
void operator delete[](void* p) noexcept {
  Give(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Give(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Give(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  Give(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  Give(p);
}

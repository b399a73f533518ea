#pragma once
// Bytes held through operator new by the whole process, for a test that
// must see its heap stay flat. Counted only in an executable that links
// heap_counter.cpp, which replaces the global operator new and delete.

#include <cstdint>

namespace tavro::chaos {

std::int64_t LiveHeapBytes();
std::uint64_t HeapAllocations();

}  // namespace tavro::chaos

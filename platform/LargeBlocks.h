#pragma once
// Blocks of memory of megabytes, straight from the system and placed on 2 MB
// boundaries in whole 2 MB units, with the hint to back them by huge pages
// where the system offers them. A fresh table of megabytes is then mapped by
// a few faults instead of one fault per 4 KB page, which on a virtual machine
// costs far more than filling the table.
#include <cstddef>

namespace vo {

// The smallest block worth a block of its own (smaller ones belong to the
// general allocator).
inline constexpr std::size_t LargeBlockMin = std::size_t{2} << 20;

// Bytes of zeroed memory (aligned to 2 MB); std::bad_alloc when the system
// has none.
void* AllocateLargeBlock(std::size_t Bytes);
// Returns a block AllocateLargeBlock gave for the same Bytes.
void FreeLargeBlock(void* Block, std::size_t Bytes) noexcept;

} // namespace vo

#pragma once
// Blocks of memory of megabytes, straight from the system and placed on 2 MB
// boundaries in whole 2 MB units, with the hint to back them by huge pages
// where the system offers them. A fresh table of megabytes is then mapped by
// a few faults instead of one fault per 4 KB page, which on a virtual machine
// costs far more than filling the table.
//
// Freed blocks are kept for reuse by blocks of the same mapped size (a loop
// that makes and drops a large table maps it once), up to 64 MB; the ones
// still unused after two calls of TrimLargeBlocks go back to the system.
#include <cstddef>

namespace vo {

// The smallest block worth a block of its own (smaller ones belong to the
// general allocator).
inline constexpr std::size_t LargeBlockMin = std::size_t{2} << 20;

// Bytes of memory aligned to 2 MB (zeroed unless a freed block is reused);
// std::bad_alloc when the system has none.
void* AllocateLargeBlock(std::size_t Bytes);
// Returns a block AllocateLargeBlock gave for the same Bytes.
void FreeLargeBlock(void* Block, std::size_t Bytes) noexcept;
// Gives back the kept blocks that stayed unused since the previous call.
void TrimLargeBlocks() noexcept;
// The bytes of freed blocks kept for reuse (for tests).
std::size_t KeptLargeBlockBytes() noexcept;

} // namespace vo

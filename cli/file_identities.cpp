// SPDX-License-Identifier: MIT
#include "file_identities.h"

#include "messages.h"

#include <cstdlib>

namespace {

// An open-addressing hash set, doubled when half full. Plain allocations: running out of
// memory ends the process with its message, never an exception.
struct identity {
  uint64_t device, inode;
  bool used;
};
identity *slots = nullptr;
size_t capacity = 0, count = 0;

size_t place_of(const identity *table, size_t size, uint64_t device, uint64_t inode) {
  uint64_t hash = (device * 0x9E3779B97F4A7C15ULL) ^ (inode * 0xC2B2AE3D27D4EB4FULL);
  hash ^= hash >> 29;
  size_t at = static_cast<size_t>(hash) & (size - 1);
  while (table[at].used && !(table[at].device == device && table[at].inode == inode))
    at = (at + 1) & (size - 1);
  return at;
}

void grow() {
  const size_t grown = capacity == 0 ? 256 : 2 * capacity;
  auto *table = static_cast<identity *>(std::calloc(grown, sizeof(identity)));
  if (table == nullptr) out_of_memory();
  for (size_t k = 0; k < capacity; ++k)
    if (slots[k].used) table[place_of(table, grown, slots[k].device, slots[k].inode)] = slots[k];
  std::free(slots);
  slots = table;
  capacity = grown;
}

} // namespace

bool add_file_identity(uint64_t device, uint64_t inode) {
  if (2 * (count + 1) > capacity) grow();
  identity &slot = slots[place_of(slots, capacity, device, inode)];
  if (slot.used) return false;
  slot = {device, inode, true};
  ++count;
  return true;
}

void forget_file_identities() {
  std::free(slots);
  slots = nullptr;
  capacity = count = 0;
}

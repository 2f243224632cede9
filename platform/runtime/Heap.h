#pragma once
// How this program uses the C library's heap. Everything here is a request about speed and
// resident memory, never about what a program computes; where the C library is not glibc, and
// in sanitizer builds (whose allocator must see every array as it is), it does nothing.

#include <cstddef>
#include <string>

namespace rt {

// Once, where a program starts: blocks up to 32 MB come from the heap rather than from
// mappings of their own, and freed heap memory stays mapped until giveBackFreeMemory. A frame
// frees and allocates the same megabytes (the driver's per-draw storage); without this, each
// frame pays page faults again for memory it has just given back.
void setMallocPolicy() noexcept;

// Lays out `bytes` of heap ahead as address space only (nothing of it becomes resident) and
// asks for it to be backed by 2 MB pages: what is then allocated there costs one page fault
// per 2 MB at its first write instead of one per 4 KB. On a virtual machine those faults are
// most of the cost of a small model's first load. Nothing under 4 MB, and nothing over 128 MB:
// the kernel finds free 2 MB pages for a few dozen megabytes, but for hundreds it compacts
// memory on the first write of each, which costs more than the faults it saves (a model of
// two million faces took a second longer to set up); and a large model's blocks, from
// mappings of their own, go back to the system when freed, which keeps its peak lower.
void prepareHeap(std::size_t bytes) noexcept;
// prepareHeap for loading the model file at `path`: 128 bytes for each of its bytes (a
// compressed text file inflates several times over before it becomes meshes and edges).
void prepareHeapForFile(const std::string& path) noexcept;

// Gives the heap's free memory back to the system, the part laid out ahead included: after a
// scene's first frame, so that a smaller model keeps no more resident than it needs.
void giveBackFreeMemory() noexcept;
// Before an array of `bytes` is made: when it is larger than any heap laid out ahead (a large
// model's), the heap's free memory goes back to the system first, so that the array does not
// come on top of it; a smaller array is made in that free memory, already resident.
void giveBackFreeMemoryBefore(std::size_t bytes) noexcept;

}  // namespace rt

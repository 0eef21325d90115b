// Memory for the buffers of Value's arrays and dictionaries.
//
// Normally each buffer is its own heap allocation. While a ValueArena is open
// on a thread, buffers made on that thread are carved instead from blocks the
// arena takes from the heap, and a block goes back to the heap when the last
// buffer in it is freed — on any thread. A reader that builds a whole
// document so allocates a few blocks instead of one buffer per container, and
// freeing the document is a counter decrement per container instead of the
// heap's free-list work.
//
// The price: a buffer kept from such a document (moved out of it, not copied)
// keeps its whole block allocated. Copies are ordinary heap buffers.
#pragma once

#include <cstddef>
#include <memory>
#include <type_traits>

namespace murmelo {

namespace value_memory {
struct Block;
// Storage for `bytes`, aligned for any type of alignment up to 8.
void* allocate(size_t bytes);
void deallocate(void* pointer) noexcept;
// Arena blocks not yet given back, process-wide: what a kept buffer pins.
size_t blocksInUse();
// Whether `pointer` (from allocate) was carved from an arena block.
bool isCarved(const void* pointer) noexcept;
// Gives back every block of the arena that carved `pointer`, whatever their
// counts: for a document known to hold every buffer still alive in them
// (Value::sealAsDocument). `pointer` must have been carved.
void releaseDocument(const void* pointer) noexcept;
} // namespace value_memory

// Storage from value_memory for a Dictionary's index, so that a reader's
// arena carves it too.
struct ValueMemoryDelete {
    void operator()(void* pointer) const noexcept { value_memory::deallocate(pointer); }
};

// Stateless: any instance frees what any other allocated, on any thread.
template <typename T> struct ValueAllocator {
    using value_type = T;
    using is_always_equal = std::true_type;
    using propagate_on_container_move_assignment = std::true_type;

    ValueAllocator() noexcept = default;
    template <typename U> ValueAllocator(const ValueAllocator<U>&) noexcept {}

    T* allocate(size_t count) {
        static_assert(alignof(T) <= 8, "value buffers are 8-byte aligned");
        return static_cast<T*>(value_memory::allocate(count * sizeof(T)));
    }
    void deallocate(T* pointer, size_t) noexcept { value_memory::deallocate(pointer); }

    // Destroying a document is mostly destroying its scalars, whose
    // destructors do nothing: skip the call for them (Value::holdsResources
    // says which), here and for the value half of a dictionary member.
    template <typename U> void destroy(U* pointer) noexcept {
        if constexpr (requires { pointer->holdsResources(); }) {
            if (pointer->holdsResources()) {
                pointer->~U();
            }
        } else if constexpr (requires { pointer->second.holdsResources(); }) {
            std::destroy_at(&pointer->first);
            if (pointer->second.holdsResources()) {
                std::destroy_at(&pointer->second);
            }
        } else {
            pointer->~U();
        }
    }

    template <typename U> bool operator==(const ValueAllocator<U>&) const noexcept { return true; }
};

// Open for the lifetime of the object, on the thread that made it; arenas
// nest. `expectedBytes` sizes the first block (a small document should not
// pin a large one). Every buffer made while it is open is carved, a large one
// in a block of its own. Blocks stay until the arena closes; then those with
// live buffers are linked in a ring, so that a document built here can give
// them all back at once (value_memory::releaseDocument).
class ValueArena {
public:
    explicit ValueArena(size_t expectedBytes = 0);
    ~ValueArena();
    ValueArena(const ValueArena&) = delete;
    ValueArena& operator=(const ValueArena&) = delete;

    void* allocate(size_t bytes);

private:
    value_memory::Block* newBlock(size_t size);
    void retireBlock();

    value_memory::Block* m_blocks = nullptr; // every block so far, newest first
    value_memory::Block* m_block = nullptr;  // the one being carved
    char* m_next = nullptr;
    char* m_end = nullptr;
    size_t m_count = 0;     // buffers carved from m_block so far
    size_t m_blockSize = 0; // size of the next block
    ValueArena* m_previous;
};

} // namespace murmelo

#include "platform/core/ValueMemory.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace murmelo {

namespace {

// Every buffer is preceded by the block it was carved from, or null for a
// buffer of its own on the heap.
constexpr size_t kHeader = 8;
constexpr size_t kMinBlock = 1024;
constexpr size_t kMaxBlock = 256 * 1024;
// Larger buffers get a block of their own: carving them would waste the rest
// of a block.
constexpr size_t kMaxCarved = kMaxBlock / 8;
// Added to a block's count of live buffers while its arena is open, so that
// frees meanwhile can never bring the count to zero.
constexpr size_t kOpenBias = size_t{1} << 62;

thread_local ValueArena* t_arena = nullptr;
std::atomic<size_t> g_blocksInUse{0};

size_t roundUp8(size_t n) {
    return (n + 7) & ~size_t{7};
}

} // namespace

namespace value_memory {

struct Block {
    std::atomic<size_t> live;
    // While the arena is open: the block made before this one. After: the
    // next block of the same document, in a ring.
    Block* next;
};

namespace {
void releaseBlock(Block* block) {
    block->~Block();
    ::operator delete(block);
    g_blocksInUse.fetch_sub(1, std::memory_order_relaxed);
}

Block* blockOf(const void* pointer) {
    return *(static_cast<Block* const*>(pointer) - 1);
}
} // namespace

void* allocate(size_t bytes) {
    if (ValueArena* arena = t_arena) {
        return arena->allocate(bytes);
    }
    auto* header = static_cast<Block**>(::operator new(bytes + kHeader));
    *header = nullptr;
    return header + 1;
}

void deallocate(void* pointer) noexcept {
    auto* header = static_cast<Block**>(pointer) - 1;
    Block* block = *header;
    if (!block) {
        ::operator delete(header);
    } else if (block->live.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        releaseBlock(block);
    }
}

size_t blocksInUse() {
    return g_blocksInUse.load(std::memory_order_relaxed);
}

bool isCarved(const void* pointer) noexcept {
    return blockOf(pointer) != nullptr;
}

void releaseDocument(const void* pointer) noexcept {
    Block* first = blockOf(pointer);
    Block* block = first;
    do {
        Block* next = block->next;
        releaseBlock(block);
        block = next;
    } while (block != first);
}

} // namespace value_memory

using value_memory::Block;

ValueArena::ValueArena(size_t expectedBytes)
    : m_blockSize(std::clamp(roundUp8(expectedBytes), kMinBlock, kMaxBlock)), m_previous(t_arena) {
    t_arena = this;
}

// Blocks whose buffers are all gone are given back; the others are linked in
// a ring and from now on each goes back with its last buffer.
ValueArena::~ValueArena() {
    retireBlock();
    t_arena = m_previous;
    Block* first = nullptr;
    Block* last = nullptr;
    for (Block* block = m_blocks; block;) {
        Block* older = block->next;
        if (block->live.fetch_sub(kOpenBias, std::memory_order_acq_rel) == kOpenBias) {
            value_memory::releaseBlock(block);
        } else {
            block->next = first;
            first = block;
            last = last ? last : block;
        }
        block = older;
    }
    if (last) {
        last->next = first;
    }
}

Block* ValueArena::newBlock(size_t size) {
    void* memory = ::operator new(sizeof(Block) + size);
    auto* block = new (memory) Block{kOpenBias, m_blocks};
    m_blocks = block;
    g_blocksInUse.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void* ValueArena::allocate(size_t bytes) {
    size_t need = kHeader + roundUp8(bytes);
    if (bytes > kMaxCarved) {
        // A block of its own: carving it would waste the rest of a block.
        Block* block = newBlock(need);
        block->live.fetch_add(1, std::memory_order_relaxed);
        auto* header = reinterpret_cast<Block**>(block + 1);
        *header = block;
        return header + 1;
    }
    if (static_cast<size_t>(m_end - m_next) < need) {
        retireBlock();
        size_t size = std::max(m_blockSize, need);
        m_block = newBlock(size);
        m_next = reinterpret_cast<char*>(m_block + 1);
        m_end = m_next + size;
        m_blockSize = std::min(m_blockSize * 2, kMaxBlock);
    }
    auto* header = reinterpret_cast<Block**>(m_next);
    *header = m_block;
    m_next += need;
    ++m_count;
    return header + 1;
}

// Adds the buffers carved from the current block to its count; the open
// bias stays until the arena closes.
void ValueArena::retireBlock() {
    if (!m_block) {
        return;
    }
    m_block->live.fetch_add(m_count, std::memory_order_relaxed);
    m_block = nullptr;
    m_next = m_end = nullptr;
    m_count = 0;
}

} // namespace murmelo

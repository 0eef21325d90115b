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
// Larger buffers are heap allocations of their own: carving them would waste
// the rest of a block.
constexpr size_t kMaxCarved = kMaxBlock / 8;
// Added to an open block's count of live buffers so that frees while the
// arena still carves from it can never bring the count to zero.
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
};

namespace {
void releaseBlock(Block* block) {
    block->~Block();
    ::operator delete(block);
    g_blocksInUse.fetch_sub(1, std::memory_order_relaxed);
}
} // namespace

void* allocate(size_t bytes) {
    if (ValueArena* arena = t_arena) {
        if (void* carved = arena->allocate(bytes)) {
            return carved;
        }
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

} // namespace value_memory

ValueArena::ValueArena(size_t expectedBytes)
    : m_blockSize(std::clamp(roundUp8(expectedBytes), kMinBlock, kMaxBlock)), m_previous(t_arena) {
    t_arena = this;
}

ValueArena::~ValueArena() {
    retireBlock();
    t_arena = m_previous;
}

using value_memory::Block;

void* ValueArena::allocate(size_t bytes) {
    if (bytes > kMaxCarved) {
        return nullptr;
    }
    size_t need = kHeader + roundUp8(bytes);
    if (static_cast<size_t>(m_end - m_next) < need) {
        retireBlock();
        size_t size = std::max(m_blockSize, need);
        void* memory = ::operator new(sizeof(Block) + size);
        m_block = new (memory) Block{kOpenBias};
        g_blocksInUse.fetch_add(1, std::memory_order_relaxed);
        m_next = static_cast<char*>(memory) + sizeof(Block);
        m_end = m_next + size;
        m_blockSize = std::min(m_blockSize * 2, kMaxBlock);
    }
    auto* header = reinterpret_cast<Block**>(m_next);
    *header = m_block;
    m_next += need;
    ++m_count;
    return header + 1;
}

// The block keeps a count of its live buffers from now on; it goes back to
// the heap when the last one is freed (now, if none is left).
void ValueArena::retireBlock() {
    if (!m_block) {
        return;
    }
    size_t adjust = m_count - kOpenBias; // wraps: subtracts the bias, adds the count
    if (m_block->live.fetch_add(adjust, std::memory_order_acq_rel) + adjust == 0) {
        value_memory::releaseBlock(m_block);
    }
    m_block = nullptr;
    m_next = m_end = nullptr;
    m_count = 0;
}

} // namespace murmelo

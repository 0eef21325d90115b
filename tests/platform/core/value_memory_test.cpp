#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "platform/core/Value.h"

using namespace murmelo;

namespace {

// A small document with containers at three levels.
Value makeDocument() {
    Array rows;
    for (int i = 0; i < 200; ++i) {
        rows.push_back(Value(Dictionary{{"id", i}, {"tags", Value(Array{Value("a"), Value(i)})}}));
    }
    return Value(Dictionary{{"rows", Value(std::move(rows))}, {"name", "doc"}});
}

} // namespace

// Blocks go back to the heap exactly when their last buffer does, whatever
// part of the document outlives the arena.
TEST(ValueArena, BlocksLiveAsLongAsTheirBuffers) {
    enum class Keep { Nothing, MovedInnerArray, DeepCopy };
    struct Case {
        const char* name;
        Keep keep;
        bool pinsBlocks; // whether what is kept holds arena blocks
    } cases[] = {
        {"nothing", Keep::Nothing, false},
        {"an inner array moved out", Keep::MovedInnerArray, true},
        {"a copy", Keep::DeepCopy, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = value_memory::blocksInUse();
        const Value expected = makeDocument(); // built outside any arena
        ASSERT_EQ(value_memory::blocksInUse(), before);
        Value kept;
        {
            std::optional<Value> document;
            {
                ValueArena arena;
                document = makeDocument();
            }
            EXPECT_GT(value_memory::blocksInUse(), before);
            EXPECT_EQ(*document, expected);
            if (c.keep == Keep::MovedInnerArray) {
                Value* rows = document->asDictionary()->find("rows");
                kept = std::move(*(*rows->asArray())[7].asDictionary()->find("tags"));
            } else if (c.keep == Keep::DeepCopy) {
                kept = *document;
            }
        }
        EXPECT_EQ(value_memory::blocksInUse() > before, c.pinsBlocks);
        if (c.keep == Keep::MovedInnerArray) {
            EXPECT_EQ(kept, Value(Array{Value("a"), Value(7)}));
        } else if (c.keep == Keep::DeepCopy) {
            EXPECT_EQ(kept, expected);
        }
        kept = Value();
        EXPECT_EQ(value_memory::blocksInUse(), before);
    }
}

// Buffers freed while the arena still carves from their block, nested
// arenas, and a document freed on another thread.
TEST(ValueArena, FreesBeforeCloseNestingAndOtherThreads) {
    const size_t before = value_memory::blocksInUse();
    Value outer;
    Value inner;
    {
        ValueArena arena;
        for (int i = 0; i < 50; ++i) {
            Value dropped = makeDocument(); // freed into the open block
        }
        {
            ValueArena nested(64);
            inner = makeDocument();
        }
        outer = makeDocument();
    }
    EXPECT_EQ(inner, makeDocument());
    EXPECT_EQ(outer, makeDocument());
    std::thread([moved = std::move(outer)]() mutable { moved = Value(); }).join();
    inner = Value();
    EXPECT_EQ(value_memory::blocksInUse(), before);
}

// A buffer too large to carve is a heap allocation of its own, so one huge
// array does not make the arena take a block of its size.
TEST(ValueArena, LargeBuffersAreNotCarved) {
    const size_t before = value_memory::blocksInUse();
    ValueArena arena;
    Array large;
    large.reserve(4096); // 160 KiB
    EXPECT_EQ(value_memory::blocksInUse(), before);
    Array small;
    small.reserve(1);
    EXPECT_EQ(value_memory::blocksInUse(), before + 1);
}

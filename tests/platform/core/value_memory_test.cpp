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

// A buffer too large to carve gets a block of its own, sized to it, so one
// huge array neither wastes a block's rest nor makes every block its size.
TEST(ValueArena, LargeBuffersGetABlockOfTheirOwn) {
    const size_t before = value_memory::blocksInUse();
    {
        ValueArena arena;
        Array large;
        large.reserve(4096); // 160 KiB
        EXPECT_EQ(value_memory::blocksInUse(), before + 1);
        Array small;
        small.reserve(1);
        EXPECT_EQ(value_memory::blocksInUse(), before + 2);
    }
    EXPECT_EQ(value_memory::blocksInUse(), before);
}

namespace {

// A document built in an arena of its own and sealed, as a reader does.
Value sealedDocument(bool withLargeArray) {
    Value document;
    {
        ValueArena arena;
        document = makeDocument();
        if (withLargeArray) {
            Array large(5000, Value("a string longer than the inline buffer"));
            (*document.asDictionary())["large"] = Value(std::move(large));
        }
    }
    document.sealAsDocument();
    return document;
}

} // namespace

// A sealed document gives its blocks back at once; any change made through
// a non-const accessor ends the seal, so nothing kept or added is lost,
// freed twice or leaked (the sanitizer build checks the last two).
TEST(ValueArena, SealedDocumentsFreeAtOnceUntilChanged) {
    enum class Use { Destroy, MoveSubtreeOut, AddHeapValues, NestInAnother, Copy };
    struct Case {
        const char* name;
        Use use;
        bool largeArray;
        bool sealedAtTheEnd; // whether the document is still sealed when freed
    } cases[] = {
        {"destroyed as read", Use::Destroy, false, true},
        {"with a block of its own", Use::Destroy, true, true},
        {"a subtree moved out", Use::MoveSubtreeOut, true, false},
        {"heap values added deep inside", Use::AddHeapValues, false, false},
        {"moved into another container", Use::NestInAnother, false, true},
        {"copied", Use::Copy, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = value_memory::blocksInUse();
        Value kept;
        {
            Value document = sealedDocument(c.largeArray);
            ASSERT_TRUE(document.isSealedDocument());
            Value expected = document; // a copy is an ordinary value
            EXPECT_FALSE(expected.isSealedDocument());
            EXPECT_EQ(document, expected);
            switch (c.use) {
            case Use::Destroy:
                break;
            case Use::MoveSubtreeOut: {
                Value* rows = document.asDictionary()->find("rows");
                kept = std::move(*(*rows->asArray())[7].asDictionary()->find("tags"));
                break;
            }
            case Use::AddHeapValues: {
                Value* rows = document.asDictionary()->find("rows");
                Dictionary* row = (*rows->asArray())[3].asDictionary();
                row->set("note", Value(std::string(100, 'x')));
                (*row)["tags"].asArray()->push_back(Value(Array(40, Value(std::string(50, 'y')))));
                break;
            }
            case Use::NestInAnother:
                kept = Value(Dictionary{{"document", Value()}});
                *kept.asDictionary()->find("document") = std::move(document);
                EXPECT_TRUE(kept.find("document")->isSealedDocument());
                document = std::move(expected); // something to compare below
                break;
            case Use::Copy:
                kept = expected;
                break;
            }
            EXPECT_EQ(document.isSealedDocument(), c.sealedAtTheEnd && c.use != Use::NestInAnother);
        }
        if (c.use == Use::MoveSubtreeOut) {
            EXPECT_EQ(kept, Value(Array{Value("a"), Value(7)}));
        } else if (c.use == Use::NestInAnother) {
            EXPECT_EQ(*kept.find("document"), makeDocument());
        }
        kept = Value();
        EXPECT_EQ(value_memory::blocksInUse(), before);
    }
}

TEST(ValueArena, OnlyContainersBuiltInAnArenaAreSealed) {
    struct Case {
        const char* name;
        Value value;
    } cases[] = {
        {"a document built on the heap", makeDocument()},
        {"an empty array", Value(Array{})},
        {"a string", Value("text")},
        {"a number", Value(3)},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.value.sealAsDocument();
        EXPECT_FALSE(c.value.isSealedDocument());
    }
}

// WeakPtr / WeakFactory / bindWeak: which pointers see their object, and
// which calls are dropped once it is gone.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/WeakPtr.h"

using namespace murmelo;

namespace {

struct Target {
    int calls = 0;
    std::string last;
    WeakFactory<Target> weak{this};
};

} // namespace

TEST(WeakPtr, SeesItsObjectOnlyUntilTheFactoryIsGoneOrInvalidated) {
    enum class Ending { None, Invalidate, DestroyFactory };
    struct Case {
        const char* name;
        Ending ending;
        bool takenAfterEnding; // the pointer is handed out after the ending
        bool expectValid;
    };
    const Case cases[] = {
        {"alive", Ending::None, false, true},
        {"invalidated", Ending::Invalidate, false, false},
        {"taken after invalidate", Ending::Invalidate, true, true},
        {"factory destroyed", Ending::DestroyFactory, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto target = std::make_unique<Target>();
        Target* raw = target.get();
        WeakPtr<Target> ptr = target->weak.weakPtr();
        WeakPtr<Target> copy = ptr;
        switch (c.ending) {
        case Ending::None:
            break;
        case Ending::Invalidate:
            target->weak.invalidate();
            break;
        case Ending::DestroyFactory:
            target.reset();
            break;
        }
        if (c.takenAfterEnding) {
            ptr = target->weak.weakPtr();
        }
        EXPECT_EQ(static_cast<bool>(ptr), c.expectValid);
        EXPECT_EQ(ptr.get(), c.expectValid ? raw : nullptr);
        if (c.ending != Ending::None) {
            EXPECT_FALSE(copy) << "a pointer handed out before the ending stays null";
        }
    }
    EXPECT_EQ(WeakPtr<Target>().get(), nullptr);
}

TEST(WeakPtr, InvalidateOnlyEndsThePointersHandedOutSoFar) {
    Target target;
    WeakPtr<Target> first = target.weak.weakPtr();
    target.weak.invalidate();
    WeakPtr<Target> second = target.weak.weakPtr();
    target.weak.invalidate();
    WeakPtr<Target> third = target.weak.weakPtr();
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    ASSERT_TRUE(third);
    third->calls = 7;
    EXPECT_EQ((*third).calls, 7);
}

TEST(WeakPtr, BindWeakCallsThroughWhileTheTargetLivesAndDropsTheCallAfter) {
    auto target = std::make_unique<Target>();
    int reached = 0;
    auto call = bindWeak(target->weak.weakPtr(), [&reached](Target& self, const std::string& text, int n) {
        ++reached;
        ++self.calls;
        self.last = text + std::to_string(n);
    });
    call(std::string("a"), 1);
    call(std::string("b"), 2);
    EXPECT_EQ(target->calls, 2);
    EXPECT_EQ(target->last, "b2");

    target.reset();
    call(std::string("c"), 3); // must not touch the freed target
    EXPECT_EQ(reached, 2);

    // A copy made while it lived is dropped too: it shares the ended flag.
    auto other = std::make_unique<Target>();
    std::function<void()> stored = bindWeak(other->weak.weakPtr(), [](Target& self) { ++self.calls; });
    std::function<void()> copied = stored;
    other->weak.invalidate();
    copied();
    stored();
    EXPECT_EQ(other->calls, 0);
}

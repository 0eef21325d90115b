// The class-level view animation blocks of View (beginAnimations ...
// commitAnimations). The open blocks are one documented main-thread stack.
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/core/Log.h"
#include "platform/ui/MainThread.h"
#include "platform/ui/ScreenChanges.h"
#include "platform/ui/View.h"
#include "platform/ui/internal/AnimationScheduler.h"

namespace murmelo {

struct AnimationBlocks {
    struct Block {
        std::string id;
        void* context = nullptr;
        double duration = 0.2;
        double delay = 0;
        AnimationCurve curve = AnimationCurve::EaseInOut;
        bool beginsFromCurrentState = false;
        std::weak_ptr<Object> delegate;
        bool hasDelegate = false;
        View::StopHandler stopHandler;
        std::vector<std::weak_ptr<View>> views;
        std::vector<View*> rawViews; // identity, to count each view once
    };

    static std::vector<Block>& open() {
        static std::vector<Block> blocks;
        return blocks;
    }

    static Block* current() {
        auto& blocks = open();
        return blocks.empty() ? nullptr : &blocks.back();
    }

    static void addView(Block& block, View& view) {
        if (std::find(block.rawViews.begin(), block.rawViews.end(), &view) != block.rawViews.end()) {
            return;
        }
        auto shared = view.sharedAs<View>();
        if (!shared) {
            return; // not owned by a shared_ptr: it changes, but cannot be tracked
        }
        block.rawViews.push_back(&view);
        block.views.push_back(shared);
    }

    static void commit(Block block) {
        std::vector<std::shared_ptr<View>> animated;
        for (const auto& weak : block.views) {
            if (auto view = weak.lock()) {
                ++view->m_runningAnimations;
                animated.push_back(view);
            }
        }
        std::vector<std::weak_ptr<View>> tracked(animated.begin(), animated.end());
        auto finish = [tracked = std::move(tracked), id = std::move(block.id), context = block.context,
                       delegate = std::move(block.delegate), hasDelegate = block.hasDelegate,
                       stop = std::move(block.stopHandler)] {
            for (const auto& weak : tracked) {
                if (auto view = weak.lock()) {
                    view->m_runningAnimations = std::max(0, view->m_runningAnimations - 1);
                }
            }
            ScreenChanges::note();
            if (!hasDelegate || !stop) {
                return;
            }
            if (auto target = delegate.lock()) {
                stop(*target, id, true, context);
            }
        };
        internal::AnimationScheduler::shared().schedule(block.delay + block.duration, std::move(finish));
    }
};

void View::beginAnimations(std::string animationID, void* context) {
    assertMainThread();
    AnimationBlocks::Block block;
    if (auto* outer = AnimationBlocks::current()) {
        // A nested block starts with the settings of the one around it.
        block.duration = outer->duration;
        block.delay = outer->delay;
        block.curve = outer->curve;
        block.beginsFromCurrentState = outer->beginsFromCurrentState;
    }
    block.id = std::move(animationID);
    block.context = context;
    AnimationBlocks::open().push_back(std::move(block));
}

void View::commitAnimations() {
    assertMainThread();
    auto& blocks = AnimationBlocks::open();
    if (blocks.empty()) {
        logLine("View: commitAnimations without beginAnimations");
        return;
    }
    AnimationBlocks::Block block = std::move(blocks.back());
    blocks.pop_back();
    AnimationBlocks::commit(std::move(block));
}

void View::setAnimationDuration(double seconds) {
    if (auto* block = AnimationBlocks::current()) {
        block->duration = std::max(0.0, seconds);
    }
}

void View::setAnimationDelay(double seconds) {
    if (auto* block = AnimationBlocks::current()) {
        block->delay = std::max(0.0, seconds);
    }
}

void View::setAnimationCurve(AnimationCurve curve) {
    if (auto* block = AnimationBlocks::current()) {
        block->curve = curve;
    }
}

void View::setAnimationBeginsFromCurrentState(bool fromCurrentState) {
    if (auto* block = AnimationBlocks::current()) {
        block->beginsFromCurrentState = fromCurrentState;
    }
}

void View::setAnimationDelegate(std::weak_ptr<Object> delegate) {
    if (auto* block = AnimationBlocks::current()) {
        block->hasDelegate = !delegate.expired();
        block->delegate = std::move(delegate);
    }
}

void View::setAnimationStopHandler(StopHandler handler) {
    if (auto* block = AnimationBlocks::current()) {
        block->stopHandler = std::move(handler);
    }
}

void View::setAnimationTransition(AnimationTransition transition, View& forView, bool) {
    auto* block = AnimationBlocks::current();
    if (!block) {
        logLine("View: setAnimationTransition outside an animation block");
        return;
    }
    if (transition == AnimationTransition::None) {
        return;
    }
    forView.m_lastTransition = transition;
    ++forView.m_transitionCount;
    AnimationBlocks::addView(*block, forView);
}

bool View::isInsideAnimationBlock() {
    return AnimationBlocks::current() != nullptr;
}

void View::noteAnimatedChange() {
    ScreenChanges::note();
    if (auto* block = AnimationBlocks::current()) {
        AnimationBlocks::addView(*block, *this);
    }
}

} // namespace murmelo

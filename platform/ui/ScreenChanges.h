// ScreenChanges: tells whoever shows the screen (the `murmelo window`) that
// the picture may have changed, so it repaints on change and sleeps
// otherwise. Views note every change of geometry, appearance, hierarchy,
// layout and content; animations note when they end, web views when a page
// commits, scrolls or a field changes.
//
//   auto watch = ScreenChanges::observe([] { /* render a new frame */ });
//
// Notes are coalesced: the observers hear once, from a call posted on the
// main run loop after the work that made the changes, however many changes
// it made. Rendering the screen (which lays it out first) notes nothing:
// what it changes is in the picture it draws.
//
// Main thread only (note() from another thread only counts); note() is
// cheap and does nothing but count while nobody observes.
#pragma once

#include <cstdint>
#include <functional>

namespace murmelo {

class ScreenChanges {
public:
    // Ends the observation when it goes (or on reset()).
    class Observation {
    public:
        Observation() = default;
        ~Observation() { reset(); }
        Observation(Observation&& other) noexcept : m_id(other.m_id) { other.m_id = 0; }
        Observation& operator=(Observation&& other) noexcept;
        void reset();

    private:
        friend class ScreenChanges;
        explicit Observation(std::uint64_t id) : m_id(id) {}
        std::uint64_t m_id = 0;
    };

    // While alive, notes only count (the screen renderer's own layout pass).
    class Quiet {
    public:
        Quiet();
        ~Quiet();
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;
    };

    static void note();
    // How many changes were noted so far.
    static std::uint64_t count();
    [[nodiscard]] static Observation observe(std::function<void()> onChange);
};

} // namespace murmelo

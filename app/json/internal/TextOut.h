// The JSON writer's output: a cursor into a string kept longer than what is
// written, so an append is one bounds check and a copy instead of
// std::string's length and terminator upkeep per piece. finish() cuts the
// string to what was written.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace murmelo::json_internal {

class TextOut {
public:
    // Writes over `text` from its start, using its capacity.
    explicit TextOut(std::string& text) : m_text(text) {
        m_text.resize(m_text.capacity());
        m_p = m_text.data();
        m_end = m_p + m_text.size();
    }
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    // Room for at least `bytes` more at cursor().
    void reserve(size_t bytes) {
        if (static_cast<size_t>(m_end - m_p) < bytes) {
            grow(bytes);
        }
    }
    void put(char c) {
        reserve(1);
        *m_p++ = c;
    }
    void append(std::string_view text) {
        reserve(text.size());
        std::memcpy(m_p, text.data(), text.size());
        m_p += text.size();
    }
    void append(size_t count, char c) {
        reserve(count);
        std::memset(m_p, c, count);
        m_p += count;
    }
    // For writing in place after reserve(): the cursor, and moving it on.
    char* cursor() { return m_p; }
    void advance(char* to) { m_p = to; }

    size_t size() const { return static_cast<size_t>(m_p - m_text.data()); }
    void finish() { m_text.resize(size()); }

private:
    void grow(size_t bytes) {
        size_t used = size();
        m_text.resize(std::max(m_text.size() * 2, used + bytes + 64));
        m_p = m_text.data() + used;
        m_end = m_text.data() + m_text.size();
    }

    std::string& m_text;
    char* m_p;
    char* m_end;
};

} // namespace murmelo::json_internal

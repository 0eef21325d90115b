// Result<T>: a value or an Error. The device reports failures this way; no
// exception crosses our own code.
//
//   Result<Value> r = PropertyList::read(bytes);
//   if (!r) log("%s", r.error().localizedDescription().c_str());
//   else use(*r);
#pragma once

#include <cassert>
#include <utility>
#include <variant>

#include "platform/core/Error.h"

namespace murmelo {

template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // REQUIRES: ok()
    T& value() & {
        assert(ok());
        return std::get<0>(m_state);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(m_state);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(m_state));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    T valueOr(T fallback) const& { return ok() ? value() : std::move(fallback); }

    // REQUIRES: !ok()
    const Error& error() const {
        assert(!ok());
        return std::get<1>(m_state);
    }

private:
    std::variant<T, Error> m_state;
};

// Result<void>: success or an Error.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}
    static Result success() { return Result(); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const {
        assert(m_failed);
        return m_error;
    }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace murmelo

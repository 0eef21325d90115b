// Result<T>: a value or an Error. The device reports failures this way; no
// exception crosses our own code.
//
//   Result<Value> r = PropertyList::read(bytes);
//   if (!r) log("%s", r.error().localizedDescription().c_str());
//   else use(*r);
//
// Passing a failure on to the caller unchanged is one line:
//
//   Result<Config> loadConfig(const std::string& path) {
//       MURMELO_TRY_VALUE(std::string bytes, fs::readFile(path)); // declares `bytes`
//       MURMELO_TRY_VOID(checkHeader(bytes));
//       return parseConfig(bytes);
//   }
//
// Both macros are plain statements (no compiler extension): MURMELO_TRY_VALUE
// declares its variable in the enclosing scope, so it stands on a line of
// its own, at most once a line. The enclosing function returns a Result of
// any type: the Error converts. Where the error needs context added, write
// the `if` out.
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

// Evaluates `expr` (a Result<T>); on failure returns its Error from the
// enclosing function, otherwise declares `declaration` from the value.
#define MURMELO_TRY_VALUE(declaration, expr)                                                                 \
    auto MURMELO_TRY_NAME_(__LINE__) = (expr);                                                               \
    if (!MURMELO_TRY_NAME_(__LINE__)) {                                                                      \
        return MURMELO_TRY_NAME_(__LINE__).error();                                                          \
    }                                                                                                        \
    declaration = std::move(*MURMELO_TRY_NAME_(__LINE__))

// Evaluates `expr` (any Result); on failure returns its Error from the
// enclosing function.
#define MURMELO_TRY_VOID(expr)                                                                               \
    do {                                                                                                     \
        if (auto murmeloTryResult = (expr); !murmeloTryResult) {                                             \
            return murmeloTryResult.error();                                                                 \
        }                                                                                                    \
    } while (false)

#define MURMELO_TRY_NAME_(line) MURMELO_TRY_JOIN_(murmeloTryResult, line)
#define MURMELO_TRY_JOIN_(a, b) MURMELO_TRY_JOIN2_(a, b)
#define MURMELO_TRY_JOIN2_(a, b) a##b

// KQJsonBase: what the JSON reader and writer share — the nesting limit and
// the error trace of the last operation.
//
// Threading: an instance serves one call at a time; separate instances may
// run on separate threads. The trace is owned by the instance and handed out
// as a copy.
//
// Errors: every error of one operation is appended to the trace, oldest
// first; each error after the first carries the previous one as its
// underlying error, so the last error alone leads back through the chain.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Error.h"

namespace murmelo {

// The error domain of every error the JSON reader and writer report.
extern const char* const KQJSONErrorDomain;

enum class KQJsonErrorCode : long {
    Unsupported = 1,      // value not writable
    BadNumber = 2,        // malformed or unrepresentable number
    BadSyntax = 3,        // unexpected character or missing separator
    NotContainer = 4,     // top level is not an object or array
    ControlCharacter = 5, // raw control character inside a string
    BadUnicodeEscape = 6, // malformed \u escape or surrogate pair
    TooDeep = 7,          // nesting beyond the limit
    BadEscape = 8,        // unknown backslash escape
    TrailingComma = 9,    // comma before a closing bracket or brace
    TrailingGarbage = 10, // text after the value
    EndOfInput = 11,      // input ended inside a value
    NoInput = 12,         // no input at all
    InvalidUtf8 = 13,     // string bytes that are not UTF-8
};

class KQJsonBase {
public:
    static constexpr unsigned kDefaultMaxDepth = 512;
    // Nesting that is refused even when maxDepth is 0 ("no limit") or larger:
    // the device's Value copies, compares and destroys containers recursively,
    // and a few thousand levels already exhaust an 8 MB thread stack in a
    // sanitised debug build.
    static constexpr unsigned kHardDepthLimit = 1024;

    KQJsonBase() = default;
    virtual ~KQJsonBase();
    KQJsonBase(const KQJsonBase&) = default;
    KQJsonBase& operator=(const KQJsonBase&) = default;

    // Errors of the last operation, oldest first; empty before the first error
    // and after a successful operation.
    std::vector<Error> errorTrace() const { return m_errorTrace; }
    // Nesting depth reached by the current (or last) operation.
    unsigned depth() const { return m_depth; }
    unsigned maxDepth() const { return m_maxDepth; }
    // 0 means no limit of the caller's (kHardDepthLimit still applies).
    void setMaxDepth(unsigned maxDepth) { m_maxDepth = maxDepth; }

    // Appends an error whose underlying error is the trace's last one.
    void addErrorWithCode(KQJsonErrorCode code, std::string description);
    void clearErrorTrace();

protected:
    // REQUIRES: the trace is not empty.
    const Error& lastError() const { return m_errorTrace.back(); }
    // Counts one more container level; false (with error 7 in the trace) when
    // the level exceeds maxDepth (if set) or the hard limit.
    bool enterContainer();
    void leaveContainer() { --m_depth; }
    void resetDepth() { m_depth = 0; }

private:
    std::vector<Error> m_errorTrace;
    unsigned m_depth = 0;
    unsigned m_maxDepth = kDefaultMaxDepth;
};

// The trace as one log-friendly line: "(Error Domain=… Code=3 \"…\", …)".
std::string describeErrorTrace(const std::vector<Error>& trace);

} // namespace murmelo

#include "app/json/KQJsonBase.h"

namespace murmelo {

const char* const KQJSONErrorDomain = "com.murmelo.KQJSON.ErrorDomain";

KQJsonBase::~KQJsonBase() {
    clearErrorTrace();
}

void KQJsonBase::addErrorWithCode(KQJsonErrorCode code, std::string description) {
    Error error(KQJSONErrorDomain, static_cast<long>(code), std::move(description));
    if (!m_errorTrace.empty()) {
        error.withUnderlyingError(m_errorTrace.back());
    }
    m_errorTrace.push_back(std::move(error));
}

void KQJsonBase::clearErrorTrace() {
    // Newest first: each error's copy of its predecessor is then released
    // while the trace still holds the predecessor, so no release cascades down
    // the whole chain.
    while (!m_errorTrace.empty()) {
        m_errorTrace.pop_back();
    }
}

bool KQJsonBase::enterContainer() {
    ++m_depth;
    if ((m_maxDepth != 0 && m_depth > m_maxDepth) || m_depth > kHardDepthLimit) {
        addErrorWithCode(KQJsonErrorCode::TooDeep, "Nested too deep");
        return false;
    }
    return true;
}

std::string describeErrorTrace(const std::vector<Error>& trace) {
    std::string out = "(";
    for (size_t i = 0; i < trace.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += trace[i].debugDescription();
    }
    out += ")";
    return out;
}

} // namespace murmelo

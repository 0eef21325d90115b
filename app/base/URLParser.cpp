#include "app/base/URLParser.h"

namespace murmelo {

namespace {

bool isSeparator(char c) {
    return c == '&' || c == '?';
}

} // namespace

URLParser::URLParser(std::string_view urlString) : m_variables(splitQuery(urlString)) {}

std::vector<std::string> URLParser::splitQuery(std::string_view urlString) {
    std::vector<std::string> pieces;
    size_t position = 0;
    // Leading separators, then everything up to the "?" that opens the query.
    while (position < urlString.size() && isSeparator(urlString[position])) {
        ++position;
    }
    size_t question = urlString.find('?', position);
    if (question == std::string_view::npos) {
        return pieces;
    }
    position = question;
    for (;;) {
        while (position < urlString.size() && isSeparator(urlString[position])) {
            ++position;
        }
        if (position >= urlString.size()) {
            break;
        }
        size_t end = urlString.find('&', position);
        if (end == std::string_view::npos) {
            end = urlString.size();
        }
        pieces.emplace_back(urlString.substr(position, end - position));
        position = end;
    }
    return pieces;
}

std::optional<std::string> URLParser::valueForVariable(std::string_view name) const {
    for (const std::string& piece : m_variables) {
        if (piece.size() > name.size() + 1 && piece.compare(0, name.size(), name) == 0 &&
            piece[name.size()] == '=') {
            return piece.substr(name.size() + 1);
        }
    }
    return std::nullopt;
}

} // namespace murmelo

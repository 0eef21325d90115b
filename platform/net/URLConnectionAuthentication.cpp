#include "platform/net/URLConnectionAuthentication.h"

#include <cctype>
#include <strings.h>

#include "platform/foundation/Crypto.h"

namespace murmelo {

URLCredential URLCredential::credentialWithUser(std::string user, std::string password,
                                                URLCredentialPersistence persistence) {
    return URLCredential{std::move(user), std::move(password), persistence};
}

std::string URLCredential::basicAuthorization() const {
    std::string pair = user + ":" + password;
    return "Basic " + base64Encode(Data(pair.begin(), pair.end()));
}

namespace {

bool isTokenChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// A small cursor over the field value.
struct Cursor {
    std::string_view text;
    size_t at = 0;
    bool done() const { return at >= text.size(); }
    void skipSpace() {
        while (!done() && (text[at] == ' ' || text[at] == '\t')) {
            ++at;
        }
    }
    std::string token() {
        size_t start = at;
        while (!done() && isTokenChar(text[at])) {
            ++at;
        }
        return std::string(text.substr(start, at - start));
    }
    std::string quoted() { // at the opening quote
        std::string value;
        ++at;
        while (!done() && text[at] != '"') {
            if (text[at] == '\\' && at + 1 < text.size()) {
                ++at;
            }
            value += text[at++];
        }
        if (!done()) {
            ++at;
        }
        return value;
    }
};

} // namespace

std::vector<AuthenticateChallenge> parseAuthenticateChallenges(std::string_view value) {
    std::vector<AuthenticateChallenge> challenges;
    Cursor cursor{value};
    while (!cursor.done()) {
        cursor.skipSpace();
        size_t before = cursor.at;
        std::string word = cursor.token();
        if (word.empty()) {
            ++cursor.at; // a stray character: skip it
            continue;
        }
        cursor.skipSpace();
        bool isParameter = !cursor.done() && cursor.text[cursor.at] == '=';
        if (!isParameter || challenges.empty()) {
            if (isParameter) {
                // "realm=x" before any scheme: nothing to attach it to.
                ++cursor.at;
                cursor.skipSpace();
                if (!cursor.done() && cursor.text[cursor.at] == '"') {
                    (void)cursor.quoted();
                } else {
                    (void)cursor.token();
                }
                continue;
            }
            challenges.push_back(AuthenticateChallenge{word, std::nullopt});
            // token68 or the first parameter may follow without a comma.
            continue;
        }
        ++cursor.at; // '='
        // token68 ("Negotiate abc==") ends in '='s: treat a run of them as its end.
        while (!cursor.done() && cursor.text[cursor.at] == '=') {
            ++cursor.at;
        }
        cursor.skipSpace();
        std::string parameterValue;
        if (!cursor.done() && cursor.text[cursor.at] == '"') {
            parameterValue = cursor.quoted();
        } else {
            parameterValue = cursor.token();
        }
        if (strcasecmp(word.c_str(), "realm") == 0 && !challenges.back().realm) {
            challenges.back().realm = parameterValue;
        }
        cursor.skipSpace();
        if (!cursor.done() && cursor.text[cursor.at] == ',') {
            ++cursor.at;
        }
        if (cursor.at == before) {
            ++cursor.at; // always move on
        }
    }
    return challenges;
}

URLAuthenticationChallenge::URLAuthenticationChallenge(URLProtectionSpace space, int previousFailureCount,
                                                       URLResponse failureResponse,
                                                       std::optional<URLCredential> proposedCredential,
                                                       URLConnection* sender, unsigned long long identifier)
    : m_protectionSpace(std::move(space)), m_previousFailureCount(previousFailureCount),
      m_failureResponse(std::move(failureResponse)), m_proposedCredential(std::move(proposedCredential)),
      m_sender(sender), m_identifier(identifier) {}

} // namespace murmelo

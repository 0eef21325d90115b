// The authentication pieces of a URL connection: the credential a delegate
// answers with, the protection space the server names, the challenge, and
// the parser of WWW-Authenticate / Proxy-Authenticate fields.
//
// The device keeps no credential store: a credential is used for the
// challenge it answers and the requests of that one load (redirects
// included), whatever its persistence says. Only the Basic scheme is
// answered; a challenge for another scheme alone can only be continued
// without a credential or cancelled.
//
// Value types; thread-safe to read. The parser takes untrusted header text
// and never fails: what it cannot read it skips.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/URLResponse.h"

namespace murmelo {

inline constexpr const char* kURLAuthenticationMethodDefault = "NSURLAuthenticationMethodDefault";
inline constexpr const char* kURLAuthenticationMethodHTTPBasic = "NSURLAuthenticationMethodHTTPBasic";
inline constexpr const char* kURLAuthenticationMethodHTTPDigest = "NSURLAuthenticationMethodHTTPDigest";
inline constexpr const char* kURLAuthenticationMethodNTLM = "NSURLAuthenticationMethodNTLM";

enum class URLCredentialPersistence { None, ForSession, Permanent };

struct URLCredential {
    std::string user;
    std::string password;
    URLCredentialPersistence persistence = URLCredentialPersistence::None;

    static URLCredential credentialWithUser(std::string user, std::string password,
                                            URLCredentialPersistence persistence);
    // "Basic " + base64(user ":" password).
    std::string basicAuthorization() const;
};

struct URLProtectionSpace {
    std::string host;
    int port = 0;
    std::string protocol; // "http" or "https"
    std::optional<std::string> realm;
    std::string authenticationMethod = kURLAuthenticationMethodDefault;
    bool isProxy = false;
};

// One challenge of an authenticate field: scheme (as written) and its realm.
struct AuthenticateChallenge {
    std::string scheme;
    std::optional<std::string> realm;
};
// Every challenge of one WWW-Authenticate or Proxy-Authenticate value
// (RFC 7235: "Basic realm=\"x\", Digest realm=\"y\", nonce=\"n\"").
std::vector<AuthenticateChallenge> parseAuthenticateChallenges(std::string_view value);

class URLConnection;

class URLAuthenticationChallenge {
public:
    URLAuthenticationChallenge(URLProtectionSpace space, int previousFailureCount,
                               URLResponse failureResponse, std::optional<URLCredential> proposedCredential,
                               URLConnection* sender, unsigned long long identifier);

    const URLProtectionSpace& protectionSpace() const { return m_protectionSpace; }
    // How many times this load was already challenged for the same space.
    int previousFailureCount() const { return m_previousFailureCount; }
    const URLResponse& failureResponse() const { return m_failureResponse; }
    // The credential answered last time, when this is a repeated challenge.
    const std::optional<URLCredential>& proposedCredential() const { return m_proposedCredential; }
    // The connection that waits for the answer (valid while it runs).
    URLConnection* sender() const { return m_sender; }
    unsigned long long identifier() const { return m_identifier; }

private:
    URLProtectionSpace m_protectionSpace;
    int m_previousFailureCount;
    URLResponse m_failureResponse;
    std::optional<URLCredential> m_proposedCredential;
    URLConnection* m_sender;
    unsigned long long m_identifier;
};

} // namespace murmelo

// TwitterStandIn: Twitter's status update, as the application uses it.
//   POST statuses/update.xml   body "status=TEXT", HTTP basic authentication
// A request without credentials gets the 401 challenge, wrong credentials a
// 401 too; a known account's status is recorded and answered in XML. Texts
// over 140 characters, or empty, are refused with 403 (Twitter's own rule).
//
// The application writes the text into the body unencoded, so a body whose
// value holds a raw blank is taken as it stands; one that looks
// form-encoded (no raw blank) is decoded, for clients that encode.
// Thread-safe; borrows the database and the configuration.
#pragma once

#include <optional>
#include <string>

#include "servers/Role.h"
#include "servers/ServerConfig.h"
#include "servers/store/Database.h"

namespace murmelo::servers {

class TwitterStandIn : public Role {
public:
    static constexpr size_t kMaxStatusLength = 140;

    TwitterStandIn(Database& database, const ServerConfig& config) : m_database(database), m_config(config) {}
    HttpResponse handle(HttpRequest& request) override;

    // The account named by a valid "Basic ..." header, or nothing.
    std::optional<std::string> authenticate(const std::optional<std::string>& authorization) const;
    // The status text of an update body, or nothing when it has none.
    static std::optional<std::string> statusText(std::string_view body);

private:
    Database& m_database;
    const ServerConfig& m_config;
};

} // namespace murmelo::servers

// ShortenerStandIn: the link shortener — its API host and its short links.
//   API    GET v3/shorten?login=L&apiKey=K&uri=U[&format=txt|json]
//          the short link "http://<domain>/<code>" as plain text (format=txt)
//          or in the JSON envelope; a long link always gets the same code.
//          Errors: status 500 with "MISSING_ARG_LOGIN", "INVALID_LOGIN",
//          "MISSING_ARG_APIKEY", "INVALID_APIKEY", "MISSING_ARG_URI" or
//          "INVALID_URI" as the text.
//   links  GET /<code>  301 to the long link (counts the visit)
// The account is the one in servers/Accounts.h. Links are kept in the database.
// Thread-safe; borrows the database.
#pragma once

#include "servers/Role.h"
#include "servers/http/FormFields.h"
#include "servers/store/Database.h"

namespace murmelo::servers {

class ShortenerStandIn : public Role {
public:
    explicit ShortenerStandIn(Database& database) : m_database(database) {}
    HttpResponse handle(HttpRequest& request) override;

private:
    HttpResponse shorten(const FormFields& query);
    HttpResponse follow(const std::string& code);
    Result<std::string> codeFor(const std::string& longUrl);

    Database& m_database;
};

} // namespace murmelo::servers

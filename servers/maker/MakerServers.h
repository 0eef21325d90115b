// MakerServers: the maker's four small servers, one Role for their hosts.
//   status   GET status.php + parameter block      records the launch ping
//   service  GET recommandApp.php                   the recommended-app offer (XML property list)
//            GET sharedNotify.php?type=facebook|twitter   records a rewarded share
//            GET adsensekeywords.php                plain-text AdSense keywords
//            GET recommandClicked.php               records an accepted offer (the default notifyUrl)
//   support  GET isupport.php, POST isupport.php    feedback page; stores feedback
//   link     GET vasksendmailEn                     records a sent share mail
// Thread-safe; borrows the database, which must outlive it.
#pragma once

#include "servers/Role.h"
#include "servers/ServerConfig.h"
#include "servers/http/FormFields.h"
#include "servers/store/Database.h"

namespace murmelo::servers {

class MakerServers : public Role {
public:
    static constexpr size_t kMaxFeedbackLength = 2000;
    static constexpr size_t kMaxContactLength = 200;

    MakerServers(Database& database, const ServerConfig& config) : m_database(database), m_config(config) {}
    HttpResponse handle(HttpRequest& request) override;

private:
    HttpResponse status(const HttpRequest& request);
    HttpResponse service(const HttpRequest& request);
    HttpResponse support(const HttpRequest& request);
    HttpResponse link(const HttpRequest& request);
    HttpResponse recommendation();
    HttpResponse feedbackPage(const FormFields& origin, std::string_view error, std::string_view message,
                              std::string_view contact, int status);

    Database& m_database;
    const ServerConfig& m_config;
};

} // namespace murmelo::servers

#include "servers/thirdparty/ShortenerStandIn.h"

#include <openssl/rand.h>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "servers/Accounts.h"
#include "servers/HostTable.h"
#include "servers/http/Json.h"

namespace murmelo::servers {

namespace {

std::string randomCode() {
    static constexpr char kAlphabet[] = "abcdefghijkmnopqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    unsigned char bytes[6];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        std::abort();
    }
    std::string code;
    for (unsigned char b : bytes) {
        code += kAlphabet[b % (sizeof kAlphabet - 1)];
    }
    return code;
}

// The application's own short link leads to its App Store page.
constexpr std::string_view kAppCode = "murmelo";

} // namespace

HttpResponse ShortenerStandIn::handle(HttpRequest& request) {
    if (roleForHost(request.host) == HostRole::ShortenerApi) {
        if (request.path == "/v3/shorten") {
            return shorten(parseQueryLeniently(request.query));
        }
        return HttpResponse::text("NOT_FOUND", 404);
    }
    return follow(request.path.size() > 1 ? request.path.substr(1) : "");
}

Result<std::string> ShortenerStandIn::codeFor(const std::string& longUrl) {
    return m_database.write<std::string>([&](Connection& connection) -> Result<std::string> {
        auto existing = connection.prepare("SELECT code FROM short_links WHERE long_url = ?");
        if (!existing) {
            return existing.error();
        }
        existing->bind(1, longUrl);
        auto row = existing->step();
        if (!row) {
            return row.error();
        }
        if (*row) {
            return existing->text(0);
        }
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::string code = randomCode();
            auto insert = connection.prepare(
                "INSERT OR IGNORE INTO short_links (code, long_url, created) VALUES (?, ?, ?)");
            if (!insert) {
                return insert.error();
            }
            insert->bind(1, code).bind(2, longUrl).bind(3, Clock::now());
            auto changed = insert->run();
            if (!changed) {
                return changed.error();
            }
            if (*changed == 1) {
                return code;
            }
        }
        return Error("MurmeloShortener", 1, "no free short code");
    });
}

HttpResponse ShortenerStandIn::shorten(const FormFields& query) {
    std::string format = query.getOr("format", "json");
    auto fail = [&](const char* reason) {
        if (format == "txt") {
            return HttpResponse::text(reason, 500);
        }
        Dictionary reply{{"status_code", 500}, {"status_txt", reason}, {"data", Value()}};
        return HttpResponse::json(jsonReply(Value(std::move(reply))));
    };
    auto login = query.get("login");
    auto apiKey = query.get("apiKey");
    auto uri = query.get("uri");
    if (!login || login->empty()) {
        return fail("MISSING_ARG_LOGIN");
    }
    if (*login != kShortenerLogin) {
        return fail("INVALID_LOGIN");
    }
    if (!apiKey || apiKey->empty()) {
        return fail("MISSING_ARG_APIKEY");
    }
    if (*apiKey != kShortenerApiKey) {
        return fail("INVALID_APIKEY");
    }
    if (!uri || uri->empty()) {
        return fail("MISSING_ARG_URI");
    }
    bool web = uri->starts_with("http://") || uri->starts_with("https://");
    if (!web || uri->size() > 2048 || uri->find_first_of(" \r\n") != std::string::npos) {
        return fail("INVALID_URI");
    }
    auto code = codeFor(*uri);
    if (!code) {
        logLine("shortener: %s", code.error().localizedDescription().c_str());
        return fail("UNKNOWN_ERROR");
    }
    std::string shortUrl = "http://" + std::string(hostFor(HostRole::ShortenerLinks)) + "/" + *code;
    if (format == "txt") {
        return HttpResponse::text(shortUrl);
    }
    Dictionary data{{"url", shortUrl}, {"hash", *code}, {"long_url", *uri}, {"new_hash", 0}};
    Dictionary reply{{"status_code", 200}, {"status_txt", "OK"}, {"data", Value(std::move(data))}};
    return HttpResponse::json(jsonReply(Value(std::move(reply))));
}

HttpResponse ShortenerStandIn::follow(const std::string& code) {
    if (code == kAppCode) {
        return HttpResponse::redirect(std::string(kAppStoreAppUrl), 301);
    }
    auto target = m_database.write<std::string>([&](Connection& connection) -> Result<std::string> {
        auto visit = connection.prepare("UPDATE short_links SET clicks = clicks + 1 WHERE code = ?");
        if (!visit) {
            return visit.error();
        }
        visit->bind(1, code);
        auto changed = visit->run();
        if (!changed) {
            return changed.error();
        }
        if (*changed == 0) {
            return std::string();
        }
        auto select = connection.prepare("SELECT long_url FROM short_links WHERE code = ?");
        if (!select) {
            return select.error();
        }
        select->bind(1, code);
        auto row = select->step();
        if (!row) {
            return row.error();
        }
        return select->text(0);
    });
    if (!target) {
        return HttpResponse::text("unavailable\n", 500);
    }
    if (target->empty()) {
        return HttpResponse::text("no such link\n", 404);
    }
    return HttpResponse::redirect(*target, 301);
}

} // namespace murmelo::servers

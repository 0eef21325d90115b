#include "app/ads/clients/NetworkBannerView.h"

#include <cctype>

#include "app/json/KQJSON.h"
#include "platform/graphics/DrawingContext.h"
#include "platform/net/URLDataFetch.h"
#include "platform/ui/Application.h"
#include "platform/ui/ScreenDump.h"

namespace murmelo {

namespace {

Error bannerError(NetworkBannerError code, std::string text) {
    return Error(kNetworkBannerErrorDomain, static_cast<long>(code), std::move(text));
}

std::optional<URL> webURL(const Dictionary& dict, const char* key) {
    const Value* value = dict.find(key);
    const ValueString* text = value ? value->asString() : nullptr;
    if (!text) {
        return std::nullopt;
    }
    auto url = URL::strictParse(*text);
    if (!url || !url->scheme() || (*url->scheme() != "http" && *url->scheme() != "https")) {
        return std::nullopt;
    }
    return url;
}

} // namespace

std::string adQueryEncode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

Result<NetworkAd> parseNetworkAd(std::string_view bytes) {
    KQJSON json;
    Result<Value> parsed = json.objectWithString(std::string(bytes));
    const Dictionary* dict = parsed ? parsed->asDictionary() : nullptr;
    if (!dict) {
        return bannerError(NetworkBannerError::BadReply, "The ad network's reply is not an ad");
    }
    auto image = webURL(*dict, "img_url");
    auto click = webURL(*dict, "click_url");
    if (!image || !click) {
        return bannerError(NetworkBannerError::BadReply,
                           "The ad network's reply has no usable image or link");
    }
    const Value* text = dict->find("text");
    return NetworkAd{*image, *click, text && text->asString() ? text->asString()->str() : std::string()};
}

std::shared_ptr<URLDataFetch> NetworkBannerView::fetchFor() {
    std::weak_ptr<NetworkBannerView> weakSelf = sharedAs<NetworkBannerView>();
    return std::make_shared<URLDataFetch>(kReplyLimit, [weakSelf](URLConnection& connection, auto reply) {
        if (auto view = weakSelf.lock()) {
            view->fetched(connection, std::move(reply));
        }
    });
}

NetworkBannerView::NetworkBannerView(std::string networkName, std::weak_ptr<NetworkBannerListener> listener)
    : BannerButton(Rect(0, 0, 320, 50), ButtonType::Custom), m_networkName(std::move(networkName)),
      m_listener(std::move(listener)) {
    setShowsTouchWhenHighlighted(true);
}

NetworkBannerView::~NetworkBannerView() {
    cancel();
}

void NetworkBannerView::cancel() {
    for (auto* connection : {&m_adConnection, &m_imageConnection}) {
        if (*connection) {
            (*connection)->cancel();
            connection->reset();
        }
    }
}

void NetworkBannerView::load(const URL& adRequestURL) {
    cancel();
    auto self = sharedAs<NetworkBannerView>();
    if (!m_tapInstalled) {
        std::weak_ptr<NetworkBannerView> weakSelf = self;
        addAction(
            [weakSelf](Control&) {
                if (auto view = weakSelf.lock()) {
                    view->tapped();
                }
            },
            ControlEvents::TouchUpInside);
        m_tapInstalled = true;
    }
    m_adConnection = URLConnection::connectionWithRequest(
        URLRequest(adRequestURL, URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTransferTimeout),
        fetchFor());
    if (!m_adConnection) {
        fail(NetworkBannerError::Connection, "Cannot reach the ad network");
    }
}

void NetworkBannerView::fetched(URLConnection& connection, Result<std::pair<int, Data>> reply) {
    auto self = sharedAs<NetworkBannerView>();
    if (&connection == m_adConnection.get()) {
        m_adConnection.reset();
        if (!reply) {
            fail(NetworkBannerError::Connection, "Cannot reach the ad network", reply.error());
            return;
        }
        if (reply->first == 204) {
            fail(NetworkBannerError::NoFill, "The ad network has no ad to show");
            return;
        }
        const Data& body = reply->second;
        auto ad =
            reply->first == 200
                ? parseNetworkAd(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()))
                : Result<NetworkAd>(bannerError(NetworkBannerError::BadReply,
                                                "The ad network answered " + std::to_string(reply->first)));
        if (!ad) {
            fail(static_cast<NetworkBannerError>(ad.error().code()), ad.error().localizedDescription());
            return;
        }
        m_ad = std::move(*ad);
        m_imageConnection = URLConnection::connectionWithRequest(
            URLRequest(m_ad->imageURL, URLRequestCachePolicy::UseProtocolCachePolicy, kTransferTimeout),
            fetchFor());
        if (!m_imageConnection) {
            fail(NetworkBannerError::Connection, "Cannot fetch the ad's image");
        }
    } else if (&connection == m_imageConnection.get()) {
        m_imageConnection.reset();
        if (!reply) {
            fail(NetworkBannerError::Connection, "Cannot fetch the ad's image", reply.error());
            return;
        }
        // An image that does not decode leaves the ad's text to show.
        m_image = reply->first == 200 ? Image::imageWithData(std::move(reply->second)) : nullptr;
        if (!m_image && m_ad->text.empty()) {
            fail(NetworkBannerError::Image, "The ad's image cannot be shown");
            return;
        }
        setNeedsDisplay();
        if (auto listener = m_listener.lock()) {
            listener->bannerDidLoad(*this);
        }
    }
}

void NetworkBannerView::fail(NetworkBannerError code, std::string text, std::optional<Error> underlying) {
    Error error = bannerError(code, std::move(text));
    if (underlying) {
        error.withUnderlyingError(std::move(*underlying));
    }
    if (auto listener = m_listener.lock()) {
        listener->bannerDidFail(*this, error);
    }
}

void NetworkBannerView::tapped() {
    if (!m_ad) {
        return;
    }
    auto listener = m_listener.lock();
    auto screen = listener ? listener->bannerPresentingScreen() : nullptr;
    if (!screen) {
        (void)Application::sharedApplication().openURL(m_ad->clickURL);
        return;
    }
    if (!m_browser) {
        m_browser = std::make_shared<AdWhirlWebBrowserController>();
    }
    m_browser->setDelegate(sharedAs<NetworkBannerView>());
    m_browser->presentWithController(screen, 0);
    listener->bannerWillPresentFullScreen(*this);
    m_browser->loadURL(m_ad->clickURL);
}

void NetworkBannerView::webBrowserClosed(AdWhirlWebBrowserController& controller) {
    if (&controller != m_browser.get()) {
        return;
    }
    m_browser.reset();
    if (auto listener = m_listener.lock()) {
        listener->bannerDidDismissFullScreen(*this);
    }
}

BannerButton::Face NetworkBannerView::face() const {
    return {m_image, m_ad ? std::optional<std::string>(m_ad->text) : std::nullopt,
            m_background.value_or(Color::colorWithWhite(0.3)), m_textColor.value_or(Color::whiteColor())};
}

void NetworkBannerView::dump(ScreenDumpWriter& writer) const {
    writer.line(dumpLine(m_networkName + " ad", m_ad ? std::optional<std::string>(m_ad->text) : std::nullopt,
                         m_image != nullptr, m_ad ? &m_ad->clickURL : nullptr));
}

} // namespace murmelo

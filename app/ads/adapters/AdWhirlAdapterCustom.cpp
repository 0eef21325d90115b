#include "app/ads/adapters/AdWhirlAdapterCustom.h"

#include <cctype>
#include <cstdio>

#include "app/ads/AdWhirlAdNetworkConfig.h"
#include "app/ads/AdWhirlConfig.h"
#include "app/ads/AdWhirlDelegate.h"
#include "app/ads/AdWhirlError.h"
#include "app/ads/AdWhirlLog.h"
#include "app/ads/AdWhirlView.h"
#include "app/json/KQJSON.h"
#include "app/product/Constants.h"
#include "platform/core/Clock.h"
#include "platform/foundation/Locale.h"
#include "platform/ui/Application.h"

namespace murmelo {

namespace {

Error formatError(std::string text) {
    return AdWhirlError::errorWithCode(AdWhirlErrorCode::CustomAdFormatError, std::move(text));
}

// An integer field read the way the configuration reads numbers; null and
// values of another kind count as missing.
Result<int> integerField(const Dictionary& dict, const char* name, int above, int below) {
    int value = 0;
    if (!awIntVal(&value, dict.find(name))) {
        return formatError(std::string("Custom ad data has no '") + name + "' field");
    }
    if (value <= above || value >= below) {
        return formatError(std::string("Custom ad: Invalid value for ") + name + " - " +
                           std::to_string(value));
    }
    return value;
}

const ValueString* stringField(const Dictionary& dict, const char* name) {
    const Value* value = dict.find(name);
    return value ? value->asString() : nullptr;
}

bool isWebAddress(const URL& url) {
    if (!url.scheme() || !url.host() || url.host()->empty()) {
        return false;
    }
    std::string scheme = *url.scheme();
    for (char& c : scheme) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return scheme == "http" || scheme == "https";
}

class IgnoringDelegate : public URLConnectionDelegate {};

std::string formatDouble(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

} // namespace

Result<CustomAdData> parseCustomAdData(std::string_view bytes) {
    KQJSON json;
    Result<Value> parsed = json.objectWithString(std::string(bytes));
    if (!parsed) {
        return AdWhirlError::errorWithCode(AdWhirlErrorCode::CustomAdDataError,
                                           "Error parsing custom ad JSON from server", parsed.error());
    }
    const Dictionary* dict = parsed->asDictionary();
    if (!dict) {
        return formatError("Expected top-level dictionary in custom ad data");
    }
    AdWhirlCustomAdView::Content content;
    MURMELO_TRY_VALUE(content.adType, integerField(*dict, "ad_type", 0, 6));
    MURMELO_TRY_VALUE(content.launchType, integerField(*dict, "launch_type", 0, 4));
    MURMELO_TRY_VALUE(content.animType, integerField(*dict, "webview_animation_type", -1, 10));

    if (const ValueString* text = stringField(*dict, "ad_text")) {
        content.text = *text;
    }
    if (const ValueString* redirect = stringField(*dict, "redirect_url")) {
        content.redirectURL = URL::strictParse(*redirect);
        if (!content.redirectURL) {
            AWLogWarn("Custom ad: Malformed redirect URL string %s", redirect->c_str());
        }
    } else {
        AWLogWarn("No redirect URL for custom ad");
    }
    if (const ValueString* metrics = stringField(*dict, "metrics_url")) {
        content.clickMetricsURL = URL::strictParse(*metrics);
        if (!content.clickMetricsURL) {
            AWLogWarn("Malformed click metrics URL string %s", metrics->c_str());
        }
    } else {
        AWLogWarn("No click metric URL for custom ad");
    }
    // Without an image nothing would ever answer the banner.
    const ValueString* image = stringField(*dict, "img_url");
    if (!image) {
        return formatError("Custom ad data has no 'img_url' field");
    }
    std::optional<URL> imageURL = URL::strictParse(*image);
    if (!imageURL || !isWebAddress(*imageURL)) {
        return formatError("Custom ad: Malformed image URL string " + image->str());
    }
    return CustomAdData{std::move(content), std::move(*imageURL)};
}

// Forwards a transfer's events to the adapter; the connection holds it for
// the length of the load and the adapter only weakly.
class AdWhirlAdapterCustom::Transfer : public URLConnectionDelegate {
public:
    explicit Transfer(std::weak_ptr<AdWhirlAdapterCustom> adapter) : m_adapter(std::move(adapter)) {}
    void didReceiveResponse(URLConnection& connection, const URLResponse&) override {
        if (auto adapter = m_adapter.lock()) {
            adapter->transferDidReceiveResponse(connection);
        }
    }
    void didReceiveData(URLConnection& connection, const Data& data) override {
        if (auto adapter = m_adapter.lock()) {
            adapter->transferDidReceiveData(connection, data);
        }
    }
    void connectionDidFinishLoading(URLConnection& connection) override {
        if (auto adapter = m_adapter.lock()) {
            adapter->transferDidFinish(connection);
        }
    }
    void didFailWithError(URLConnection& connection, const Error& error) override {
        if (auto adapter = m_adapter.lock()) {
            adapter->transferDidFail(connection, error);
        }
    }

private:
    std::weak_ptr<AdWhirlAdapterCustom> m_adapter;
};

AdWhirlAdapterClass AdWhirlAdapterCustom::adapterClass() {
    return adapterClassOf<AdWhirlAdapterCustom>("AdWhirlAdapterCustom");
}

AdWhirlAdapterCustom::~AdWhirlAdapterCustom() {
    stopBeingDelegate();
}

bool AdWhirlAdapterCustom::requesting() const {
    std::lock_guard lock(m_lock);
    return m_requesting;
}

void AdWhirlAdapterCustom::setRequesting(bool requesting) {
    std::lock_guard lock(m_lock);
    m_requesting = requesting;
}

void AdWhirlAdapterCustom::stopBeingDelegate() {
    for (auto* connection : {&m_adConnection, &m_imageConnection}) {
        if (*connection) {
            (*connection)->cancel();
            connection->reset();
        }
    }
    if (m_adView) {
        m_adView->setDelegate({});
    }
}

std::optional<URL> AdWhirlAdapterCustom::customAdRequestURL() {
    auto owner = adWhirlDelegate();
    std::optional<URL> base = owner ? owner->adWhirlCustomAdURL() : std::nullopt;
    if (!base) {
        base = URL::strictParse("http://" + std::string(kMediationHouseAdsHost) + "/custom.php");
    }
    if (!base) {
        return std::nullopt;
    }
    const std::string common = "?appver=" + std::to_string(AdWhirlConfig::kAdWhirlAppVer) +
                               "&country_code=" + Locale::currentLocale().localeIdentifier() +
                               "&appid=" + adWhirlConfig()->appKey() + "&nid=" + networkConfig()->nid();
    std::optional<AdWhirlLocation> location;
    if (adWhirlConfig()->locationOn()) {
        AWLogDebug("Allow location access in custom ad");
        location = owner ? owner->locationInfo() : std::nullopt;
        if (!location) {
            if (!m_locationManager) {
                m_locationManager = std::make_unique<LocationManager>();
            }
            if (auto fix = m_locationManager->location()) {
                location = AdWhirlLocation{fix->latitude, fix->longitude, fix->timestamp};
            }
        }
    } else {
        AWLogDebug("Do not allow location access in custom ad");
    }
    // With location allowed but no fix known, the request goes out as if
    // location were off rather than with a made-up position.
    std::string query = common;
    if (location) {
        query += "&location=" + formatDouble("%lf", location->latitude) + "," +
                 formatDouble("%lf", location->longitude) +
                 "&location_timestamp=" + formatDouble("%lf", Clock::now());
    }
    query += "&client=1";
    return URL::resolve(*base, query);
}

void AdWhirlAdapterCustom::getAd() {
    {
        std::lock_guard lock(m_lock);
        if (m_requesting) {
            return;
        }
        m_requesting = true;
    }
    std::optional<URL> url = customAdRequestURL();
    if (!url) {
        fail(AdWhirlError::errorWithCode(AdWhirlErrorCode::CustomAdConnectionError,
                                         "Error connecting to custom ad server"));
        return;
    }
    AWLogDebug("Requesting custom ad at %s", url->absoluteString().c_str());
    m_adData.clear();
    m_adConnection = startTransfer(*url);
    if (!m_adConnection) {
        fail(AdWhirlError::errorWithCode(AdWhirlErrorCode::CustomAdConnectionError,
                                         "Error connecting to custom ad server"));
    }
}

std::shared_ptr<URLConnection> AdWhirlAdapterCustom::startTransfer(const URL& url) {
    auto self = std::static_pointer_cast<AdWhirlAdapterCustom>(shared_from_this());
    return URLConnection::connectionWithRequest(
        URLRequest(url, URLRequestCachePolicy::UseProtocolCachePolicy, kTransferTimeout),
        std::make_shared<Transfer>(self));
}

void AdWhirlAdapterCustom::transferDidReceiveResponse(URLConnection& connection) {
    if (&connection == m_adConnection.get()) {
        m_adData.clear();
    } else if (&connection == m_imageConnection.get()) {
        m_imageData.clear();
    }
}

void AdWhirlAdapterCustom::transferDidReceiveData(URLConnection& connection, const Data& data) {
    Data* buffer = &connection == m_adConnection.get()      ? &m_adData
                   : &connection == m_imageConnection.get() ? &m_imageData
                                                            : nullptr;
    if (buffer) {
        buffer->insert(buffer->end(), data.begin(), data.end());
    }
}

void AdWhirlAdapterCustom::transferDidFinish(URLConnection& connection) {
    if (&connection == m_adConnection.get()) {
        m_adConnection.reset();
        adDataArrived();
    } else if (&connection == m_imageConnection.get()) {
        m_imageConnection.reset();
        imageDataArrived();
    }
}

void AdWhirlAdapterCustom::transferDidFail(URLConnection& connection, const Error& error) {
    const char* text = nullptr;
    if (&connection == m_adConnection.get()) {
        m_adConnection.reset();
        text = "Error connecting to custom ad server";
    } else if (&connection == m_imageConnection.get()) {
        m_imageConnection.reset();
        text = "Error connecting to custom ad server to fetch image";
    } else {
        return;
    }
    fail(AdWhirlError::errorWithCode(AdWhirlErrorCode::CustomAdConnectionError, text, error));
}

void AdWhirlAdapterCustom::adDataArrived() {
    Result<CustomAdData> data =
        parseCustomAdData(std::string_view(reinterpret_cast<const char*>(m_adData.data()), m_adData.size()));
    m_adData.clear();
    if (!data) {
        fail(data.error());
        return;
    }
    const auto& content = data->content;
    AWLogDebug("Got custom ad '%s' %s %s %d %d %d", content.text.value_or("(null)").c_str(),
               content.redirectURL ? content.redirectURL->absoluteString().c_str() : "(null)",
               content.clickMetricsURL ? content.clickMetricsURL->absoluteString().c_str() : "(null)",
               content.adType, content.launchType, content.animType);
    auto self = std::static_pointer_cast<AdWhirlAdapterCustom>(shared_from_this());
    m_adView =
        AdWhirlCustomAdView::create(self, content, helperBackgroundColorToUse(), helperTextColorToUse());
    if (!m_adView) {
        fail(formatError("Error initializing AdWhirl custom ad view"));
        return;
    }
    setAdNetworkView(m_adView);
    AWLogDebug("Request custom ad image at %s", data->imageURL.absoluteString().c_str());
    m_imageData.clear();
    m_imageConnection = startTransfer(data->imageURL);
    if (!m_imageConnection) {
        fail(AdWhirlError::errorWithCode(AdWhirlErrorCode::CustomAdConnectionError,
                                         "Error connecting to custom ad server to fetch image"));
    }
}

void AdWhirlAdapterCustom::imageDataArrived() {
    std::shared_ptr<const Image> image = Image::imageWithData(std::move(m_imageData));
    m_imageData.clear();
    if (!image || !m_adView) {
        fail(AdWhirlError::errorWithCode(AdWhirlErrorCode::CustomAdImageError,
                                         "Cannot initialize custom ad image from data"));
        return;
    }
    auto self = shared_from_this(); // the banner may let go of this adapter while it hears of the ad
    m_adView->setImage(std::move(image));
    setRequesting(false);
    if (auto banner = adWhirlView()) {
        banner->didReceiveAdView(*this, m_adView);
    }
}

void AdWhirlAdapterCustom::fail(const Error& error) {
    auto self = shared_from_this();
    setRequesting(false);
    if (auto banner = adWhirlView()) {
        banner->didFailAd(*this, error);
    }
}

void AdWhirlAdapterCustom::adTapped(AdWhirlCustomAdView& adView) {
    if (&adView != m_adView.get()) {
        return;
    }
    if (const auto& ping = adView.clickMetricsURL()) {
        (void)URLConnection::connectionWithRequest(
            URLRequest(*ping, URLRequestCachePolicy::UseProtocolCachePolicy, kTransferTimeout),
            std::make_shared<IgnoringDelegate>());
        AWLogDebug("Sent custom ad click ping to %s", ping->absoluteString().c_str());
    }
    const auto& redirect = adView.redirectURL();
    if (!redirect) {
        AWLogError("Custom ad redirect URL is nil");
        return;
    }
    // The address comes from the server's reply: nothing but a web page may
    // be opened from it, inside or outside the application.
    if (!isWebAddress(*redirect)) {
        AWLogError("Custom ad: Refusing to open URL '%s' (only http and https)",
                   redirect->absoluteString().c_str());
        return;
    }
    switch (adView.launchType()) {
    case 1:
        AWLogDebug("Opening URL '%s' for custom ad", redirect->absoluteString().c_str());
        if (!Application::sharedApplication().openURL(*redirect)) {
            AWLogError("Cannot open URL '%s' for custom ad", redirect->absoluteString().c_str());
        }
        break;
    case 2:
        openInBrowser(*redirect);
        break;
    default:
        AWLogError("Custom ad: Unsupported launch type %d", adView.launchType());
        break;
    }
}

void AdWhirlAdapterCustom::openInBrowser(const URL& url) {
    auto owner = adWhirlDelegate();
    auto presenter = owner ? owner->viewControllerForPresentingModalView() : std::nullopt;
    if (!presenter || !*presenter) {
        AWLogError("Custom ad: no screen to open URL '%s' in", url.absoluteString().c_str());
        return;
    }
    auto self = std::static_pointer_cast<AdWhirlAdapterCustom>(shared_from_this());
    if (!m_webBrowserController) {
        m_webBrowserController = std::make_shared<AdWhirlWebBrowserController>();
    }
    m_webBrowserController->setDelegate(self);
    m_keepAliveWhileBrowsing = self;
    m_webBrowserController->presentWithController(*presenter, m_adView ? m_adView->animType() : 0);
    helperNotifyDelegateOfFullScreenModal();
    m_webBrowserController->loadURL(url);
}

void AdWhirlAdapterCustom::webBrowserClosed(AdWhirlWebBrowserController& controller) {
    if (&controller != m_webBrowserController.get()) {
        return;
    }
    auto self = std::move(m_keepAliveWhileBrowsing); // may be the last reference
    m_webBrowserController.reset();
    helperNotifyDelegateOfFullScreenModalDismissal();
}

} // namespace murmelo

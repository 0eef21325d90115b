#include "platform/iad/ADBannerView.h"

#include <algorithm>

#include "platform/core/Log.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/graphics/DrawingContext.h"
#include "platform/iad/ADActionViewController.h"
#include "platform/net/URLDataFetch.h"
#include "platform/net/URLRequest.h"
#include "platform/runloop/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/ScreenDump.h"
#include "platform/ui/Window.h"

namespace murmelo {

namespace {

Error adError(ADError code, std::string text) {
    return Error(kADErrorDomain, static_cast<long>(code), std::move(text));
}

const char* sizeName(const std::string& identifier) {
    return identifier == ADBannerContentSizeIdentifier480x32 ? "480x32" : "320x50";
}

// The screen a full-screen action covers: the key window's root screen (or
// the front-most screen whose view the window holds), or what it presents
// on top.
std::shared_ptr<ViewController> topScreen() {
    auto window = Application::sharedApplication().keyWindow();
    if (!window) {
        return nullptr;
    }
    std::shared_ptr<ViewController> screen = window->rootViewController();
    const auto& views = window->subviews();
    for (auto it = views.rbegin(); !screen && it != views.rend(); ++it) {
        if (ViewController* controller = (*it)->viewController()) {
            screen = controller->sharedAs<ViewController>();
        }
    }
    while (screen && screen->modalViewController()) {
        screen = screen->modalViewController();
    }
    return screen;
}

// Ad replies are small; images are banner-sized pictures.
constexpr std::size_t kReplyLimit = 2 * 1024 * 1024;

} // namespace

std::shared_ptr<URLDataFetch> ADBannerView::fetchFor() {
    std::weak_ptr<ADBannerView> weakSelf = sharedAs<ADBannerView>();
    return std::make_shared<URLDataFetch>(kReplyLimit, [weakSelf](URLConnection& connection, auto reply) {
        if (auto banner = weakSelf.lock()) {
            banner->fetched(connection, std::move(reply));
        }
    });
}

bool ADBannerView::classExists() {
    return DeviceProfile::current()->iAdAvailable();
}

std::optional<Size> ADBannerView::sizeFromBannerContentSizeIdentifier(std::string_view identifier) {
    if (identifier == ADBannerContentSizeIdentifier320x50) {
        return Size{320, 50};
    }
    if (identifier == ADBannerContentSizeIdentifier480x32) {
        return Size{480, 32};
    }
    return std::nullopt;
}

ADBannerView::ADBannerView(const Rect& frame) : BannerButton(frame, ButtonType::Custom) {
    setShowsTouchWhenHighlighted(true);
}

ADBannerView::~ADBannerView() {
    stop();
}

void ADBannerView::stop() {
    m_loadTimer.invalidate();
    for (auto* connection : {&m_adConnection, &m_imageConnection}) {
        if (*connection) {
            (*connection)->cancel();
            connection->reset();
        }
    }
}

void ADBannerView::setDelegate(std::weak_ptr<ADBannerViewDelegate> delegate) {
    m_delegate = std::move(delegate);
    if (!m_started && !m_delegate.expired()) {
        m_started = true;
        scheduleLoad(0);
    }
}

void ADBannerView::setRequiredContentSizeIdentifiers(std::vector<std::string> identifiers) {
    std::erase_if(identifiers,
                  [](const std::string& id) { return !sizeFromBannerContentSizeIdentifier(id); });
    m_required = std::move(identifiers);
}

void ADBannerView::setCurrentContentSizeIdentifier(const std::string& identifier) {
    auto size = sizeFromBannerContentSizeIdentifier(identifier);
    if (!size || std::find(m_required.begin(), m_required.end(), identifier) == m_required.end()) {
        logLine("ADBannerView: content size %s is not among the required sizes; ignored", identifier.c_str());
        return;
    }
    m_current = identifier;
    setFrame(Rect(frame().origin, *size));
    setNeedsDisplay();
}

void ADBannerView::setRefreshInterval(double seconds) {
    m_refreshInterval = seconds;
    if (m_loadTimer.isValid() && m_loadedOnce) {
        if (seconds > 0) {
            m_loadTimer.setFireDate(Timer::now() + seconds);
        } else {
            m_loadTimer.invalidate();
        }
    }
}

void ADBannerView::scheduleLoad(double delay) {
    std::weak_ptr<ADBannerView> weakSelf = sharedAs<ADBannerView>();
    m_loadTimer = Timer(delay, Timer::Repeats::No, [weakSelf] {
        if (auto banner = weakSelf.lock()) {
            banner->load();
        }
    });
}

void ADBannerView::load() {
    if (m_action) {
        // Nothing changes under an open ad; try again after it.
        scheduleLoad(m_refreshInterval);
        return;
    }
    stop();
    auto url =
        URL::strictParse(std::string("http://") + kADBannerHost + "/banner?size=" + sizeName(m_current));
    m_adConnection =
        url ? URLConnection::connectionWithRequest(
                  URLRequest(*url, URLRequestCachePolicy::ReloadIgnoringLocalCacheData, kTransferTimeout),
                  fetchFor())
            : nullptr;
    if (!m_adConnection) {
        fail(ADError::ServerFailure, "Cannot reach the iAd network");
    }
}

void ADBannerView::fetched(URLConnection& connection, Result<std::pair<int, Data>> reply) {
    auto self = sharedAs<ADBannerView>();
    m_loadedOnce = true;
    if (&connection == m_adConnection.get()) {
        m_adConnection.reset();
        if (!reply) {
            fail(ADError::ServerFailure, "Cannot reach the iAd network", reply.error());
            return;
        }
        if (reply->first == 204) {
            fail(ADError::InventoryUnavailable, "Ad inventory unavailable");
            return;
        }
        if (reply->first != 200) {
            fail(ADError::ServerFailure, "The iAd network answered " + std::to_string(reply->first));
            return;
        }
        const Data& body = reply->second;
        auto ad =
            parseADBannerReply(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
        if (!ad) {
            fail(ADError::ServerFailure, ad.error().localizedDescription());
            return;
        }
        m_pendingAd = std::move(*ad);
        m_imageConnection = URLConnection::connectionWithRequest(
            URLRequest(m_pendingAd->imageURL, URLRequestCachePolicy::UseProtocolCachePolicy,
                       kTransferTimeout),
            fetchFor());
        if (!m_imageConnection) {
            fail(ADError::ServerFailure, "Cannot fetch the ad's image");
        }
    } else if (&connection == m_imageConnection.get()) {
        m_imageConnection.reset();
        if (!reply) {
            fail(ADError::ServerFailure, "Cannot fetch the ad's image", reply.error());
            return;
        }
        auto image = reply->first == 200 ? Image::imageWithData(std::move(reply->second)) : nullptr;
        if (!image && m_pendingAd->text.empty()) {
            fail(ADError::ServerFailure, "The ad's image cannot be shown");
            return;
        }
        ADBannerAd ad = std::move(*m_pendingAd);
        m_pendingAd.reset();
        loaded(std::move(ad), std::move(image));
    }
}

void ADBannerView::loaded(ADBannerAd ad, std::shared_ptr<const Image> image) {
    m_ad = std::move(ad);
    m_image = std::move(image);
    setNeedsDisplay();
    if (!m_tapInstalled) {
        std::weak_ptr<ADBannerView> weakSelf = sharedAs<ADBannerView>();
        addAction(
            [weakSelf](Control&) {
                if (auto banner = weakSelf.lock()) {
                    banner->tapped();
                }
            },
            ControlEvents::TouchUpInside);
        m_tapInstalled = true;
    }
    if (m_refreshInterval > 0) {
        scheduleLoad(m_refreshInterval);
    }
    if (auto delegate = m_delegate.lock()) {
        delegate->bannerViewDidLoadAd(*this);
    }
}

void ADBannerView::fail(ADError code, std::string text, std::optional<Error> underlying) {
    m_pendingAd.reset();
    Error error = adError(code, std::move(text));
    if (underlying) {
        error.withUnderlyingError(std::move(*underlying));
    }
    // A banner keeps trying, as the platform's does.
    if (m_refreshInterval > 0) {
        scheduleLoad(m_refreshInterval);
    }
    if (auto delegate = m_delegate.lock()) {
        delegate->bannerViewDidFailToReceiveAdWithError(*this, error);
    }
}

void ADBannerView::tapped() {
    if (!m_ad || m_action) {
        return;
    }
    auto delegate = m_delegate.lock();
    if (delegate && !delegate->bannerViewActionShouldBegin(*this, false)) {
        return;
    }
    auto screen = topScreen();
    if (!screen) {
        logLine("ADBannerView: no screen to show the ad on");
        return;
    }
    m_action = std::make_shared<ADActionViewController>(sharedAs<ADBannerView>(), m_ad->clickURL);
    screen->presentModalViewController(m_action, true);
}

void ADBannerView::cancelBannerViewAction() {
    if (m_action) {
        m_action->done();
    }
}

void ADBannerView::actionDidFinish() {
    auto self = sharedAs<ADBannerView>();
    m_action.reset();
    if (auto delegate = m_delegate.lock()) {
        delegate->bannerViewActionDidFinish(*this);
    }
}

BannerButton::Face ADBannerView::face() const {
    return {m_image, m_ad ? std::optional<std::string>(m_ad->text) : std::nullopt, Color::colorWithWhite(0.1),
            Color::whiteColor(), 4};
}

void ADBannerView::dump(ScreenDumpWriter& writer) const {
    writer.line(dumpLine(std::string("iAd banner ") + sizeName(m_current),
                         m_ad ? std::optional<std::string>(m_ad->text) : std::nullopt, m_image != nullptr,
                         m_ad ? &m_ad->clickURL : nullptr));
}

} // namespace murmelo

// AdWhirlAdapterGeneric (network type 16): the owner fills the slot itself
// (adWhirlReceivedRequestForDeveloperToFufill); an owner that does not answer
// fails the request, so the banner rolls over.
//
// AdWhirlAdapterEvent (network type 17): the credential names an operation of
// the owner after the separator "|;|" ("anything|;|showOwnAd"); it is called
// without arguments, or with the banner under the name followed by ':'.
// A credential without the separator, or with nothing after it, fails the
// request.
//
// Main thread. Neither holds a network object.
#pragma once

#include <optional>
#include <string>

#include "app/ads/AdWhirlAdNetworkAdapter.h"

namespace murmelo {

class AdWhirlAdapterGeneric : public AdWhirlAdNetworkAdapter {
public:
    static constexpr int kNetworkType = 16;
    static AdWhirlAdapterClass adapterClass();

    using AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter;
    void getAd() override;
};

class AdWhirlAdapterEvent : public AdWhirlAdNetworkAdapter {
public:
    static constexpr int kNetworkType = 17;
    static constexpr const char* kSeparator = "|;|";
    static AdWhirlAdapterClass adapterClass();

    // The operation named by a credential: the piece after the first
    // separator, when there is one and it is not empty.
    static std::optional<std::string> eventSelector(const std::optional<std::string>& pubId);

    using AdWhirlAdNetworkAdapter::AdWhirlAdNetworkAdapter;
    void getAd() override;
};

} // namespace murmelo

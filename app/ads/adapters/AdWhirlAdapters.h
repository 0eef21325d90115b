// The network adapters built into the program: AdMob (1), house ads (9),
// Google AdSense (14), generic (16), event (17) and iAd (19, only on devices
// that have the iAd banner class).
// registerAdWhirlAdapters() puts their classes into the shared registry; the
// application calls it as it starts, before any configuration is parsed.
// Calling it again does nothing. registerAdWhirlAdaptersWith() fills any
// registry, each time it is called.
#pragma once

namespace murmelo {

class AdWhirlAdNetworkRegistry;

void registerAdWhirlAdapters();
void registerAdWhirlAdaptersWith(AdWhirlAdNetworkRegistry& registry);

} // namespace murmelo

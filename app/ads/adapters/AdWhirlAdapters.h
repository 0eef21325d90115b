// The network adapters built into the program: AdMob (1), house ads (9),
// Google AdSense (14), generic (16) and event (17).
// registerAdWhirlAdapters() puts their classes into the shared registry; the
// application calls it as it starts, before any configuration is parsed.
// Calling it again does nothing.
#pragma once

namespace murmelo {

void registerAdWhirlAdapters();

} // namespace murmelo

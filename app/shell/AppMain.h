// The application's entry: which delegate each device family gets (the role
// of the main interface files) and main() itself.
//
//   int main(int argc, char** argv) { return murmelo::murmeloMain(argc, argv); }
//
// Main thread only: murmeloMain() runs the main run loop until the
// application terminates.
#pragma once

#include "platform/ui/Application.h"

namespace murmelo {

// AppDelegate_Phone for phones, AppDelegate_Pad for tablets; each call makes
// a new delegate. Also registers the ad network adapters (once).
Application::DelegateFactories murmeloDelegateFactories();

// applicationMain() with those factories; its result.
int murmeloMain(int argc, char** argv);

} // namespace murmelo

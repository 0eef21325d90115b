// GoBack: what a phone user's "back" means here — the driver's `back` and
// the window's back key. Main thread only.
#pragma once

#include "platform/core/Result.h"

namespace murmelo::driver {

// Dismisses the screen presented last; else pops the front-most navigation
// stack that has more than one screen; else goes back in the front page's
// history; else an error.
Result<void> goBack();

} // namespace murmelo::driver

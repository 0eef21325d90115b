// A temporary app home made current for one test, with the process-wide
// single instances (profile, standard user defaults, main bundle) reset
// around it so no test touches the real home.
#pragma once

#include <gtest/gtest.h>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/temporary_directory.h"

namespace murmelo::test {

class TestHome {
public:
    TestHome() {
        EXPECT_TRUE(AppHome::replaceCurrentForTesting(m_dir.path() + "/home"));
        Bundle::setMainBundlePath(m_dir.path() + "/bundle");
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
    }
    ~TestHome() {
        UserDefaults::resetStandardUserDefaults();
        DeviceProfile::resetCurrent();
    }
    std::string home() const { return m_dir.path() + "/home"; }
    std::string bundle() const { return m_dir.path() + "/bundle"; }
    const TemporaryDirectory& dir() const { return m_dir; }

private:
    TemporaryDirectory m_dir;
};

} // namespace murmelo::test

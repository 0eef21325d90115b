// Small helpers of the shell's tests: the application's real resources
// folder and the alerts on screen.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/AlertView.h"
#include "platform/ui/Interaction.h"

namespace murmelo::test {

// Every wait of these tests is bounded by this.
inline constexpr double kShellBound = 10.0;

inline std::string applicationResources() {
    return std::string(MURMELO_SOURCE_DIR) + "/app/resources";
}

// The alerts on screen, back to front.
inline std::vector<std::shared_ptr<AlertView>> alertsOnScreen() {
    std::vector<std::shared_ptr<AlertView>> alerts;
    for (const auto& panel : Interaction::shownPanels()) {
        if (auto alert = std::dynamic_pointer_cast<AlertView>(panel)) {
            alerts.push_back(alert);
        }
    }
    return alerts;
}

} // namespace murmelo::test

// RunLoopModes: the set of run-loop mode names a source is registered in.
// Built implicitly from one name or a list, so most callers just write the
// mode: Timer(0.3, ..., RunLoop::kDefaultMode). Value type; not shared.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace murmelo {

class RunLoopModes {
public:
    RunLoopModes(const char* mode) : m_names{std::string(mode)} {}
    RunLoopModes(std::string_view mode) : m_names{std::string(mode)} {}
    RunLoopModes(std::string mode) : m_names{std::move(mode)} {}
    RunLoopModes(std::initializer_list<std::string> modes) : m_names(modes) {}
    explicit RunLoopModes(std::vector<std::string> modes) : m_names(std::move(modes)) {}

    const std::vector<std::string>& names() const { return m_names; }
    bool empty() const { return m_names.empty(); }
    bool contains(std::string_view mode) const {
        for (const auto& name : m_names) {
            if (name == mode) {
                return true;
            }
        }
        return false;
    }
    RunLoopModes adding(std::string_view mode) const {
        RunLoopModes copy = *this;
        if (!contains(mode)) {
            copy.m_names.emplace_back(mode);
        }
        return copy;
    }

private:
    std::vector<std::string> m_names;
};

} // namespace murmelo

// RunLoopModes: the set of run-loop mode names a source is registered in.
// Built implicitly from one name or a list, so most callers just write the
// mode: Timer(0.3, ..., RunLoop::kDefaultMode). Value type; not shared.
// One name, the usual case, is kept without a list of its own, so making or
// copying the modes of a timer or a descriptor source allocates nothing for
// a short name.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace murmelo {

class RunLoopModes {
public:
    RunLoopModes(const char* mode) : m_one(mode), m_hasOne(true) {}
    RunLoopModes(std::string_view mode) : m_one(mode), m_hasOne(true) {}
    RunLoopModes(std::string mode) : m_one(std::move(mode)), m_hasOne(true) {}
    RunLoopModes(std::initializer_list<std::string> modes) { assign(std::vector<std::string>(modes)); }
    explicit RunLoopModes(std::vector<std::string> modes) { assign(std::move(modes)); }

    std::span<const std::string> names() const {
        if (!m_many.empty()) {
            return m_many;
        }
        return {&m_one, static_cast<std::size_t>(m_hasOne)};
    }
    bool empty() const { return names().empty(); }
    bool contains(std::string_view mode) const {
        for (const auto& name : names()) {
            if (name == mode) {
                return true;
            }
        }
        return false;
    }
    RunLoopModes adding(std::string_view mode) const {
        if (contains(mode)) {
            return *this;
        }
        std::vector<std::string> names(this->names().begin(), this->names().end());
        names.emplace_back(mode);
        return RunLoopModes(std::move(names));
    }

private:
    void assign(std::vector<std::string> modes) {
        if (modes.size() > 1) {
            m_many = std::move(modes);
        } else if (modes.size() == 1) {
            m_one = std::move(modes.front());
            m_hasOne = true;
        }
    }

    std::string m_one; // the only name, when there is exactly one
    bool m_hasOne = false;
    std::vector<std::string> m_many; // two or more
};

} // namespace murmelo

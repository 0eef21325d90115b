// BarItem: what bars show per entry — a title, an image, a tag and whether
// it is enabled. The base of tab bar items and bar button items.
// Main thread only; bars and controllers share items (shared_ptr).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/graphics/Image.h"
#include "platform/ui/Object.h"

namespace murmelo {

class BarItem : public Object {
public:
    const std::optional<std::string>& title() const { return m_title; }
    virtual void setTitle(std::optional<std::string> title) { m_title = std::move(title); }
    const std::shared_ptr<const Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<const Image> image) { m_image = std::move(image); }
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }

protected:
    BarItem() = default;

private:
    std::optional<std::string> m_title;
    std::shared_ptr<const Image> m_image;
    int m_tag = 0;
    bool m_enabled = true;
};

} // namespace murmelo

#include "app/sharing/ShareFTObj.h"

#include "app/product/Constants.h"
#include "app/sharing/ShareFTObjJsonWriter.h"

namespace murmelo {

namespace {

struct ClassSlot {
    std::mutex mutex; // the lock on the class
    ShareFTObj* record = nullptr;
};

ClassSlot& classSlot() {
    static ClassSlot* slot = new ClassSlot(); // never destroyed, like the record
    return *slot;
}

} // namespace

ShareFTObj& ShareFTObj::sharedShareFTObj() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.record) {
        slot.record = new ShareFTObj(); // the single instance, never destroyed
    }
    return *slot.record;
}

ShareFTObj* ShareFTObj::alloc() {
    ClassSlot& slot = classSlot();
    std::lock_guard lock(slot.mutex);
    if (slot.record) {
        return nullptr;
    }
    slot.record = new ShareFTObj(); // the single instance, never destroyed
    return slot.record;
}

ShareFTObj::ShareFTObj()
    : m_title(Constant_sharedTitle), m_titlelink(Constant_sharedTitleLink), m_caption(Constant_sharedCaption),
      m_itemUrl(Constant_sharedAppShortUrl), m_facebooklink(std::string(Constant_sharedAppFacebookUrl)),
      m_imageFullPath(Constant_sharedCoverLink), m_appName(Constant_sharedAppName),
      m_appLink(Constant_sharedAppShortUrl) {}

#define MURMELO_SHARE_FIELD(getter, setter, member, type)                                                    \
    type ShareFTObj::getter() const {                                                                        \
        std::lock_guard lock(m_mutex);                                                                       \
        return member;                                                                                       \
    }                                                                                                        \
    void ShareFTObj::setter(type value) {                                                                    \
        std::lock_guard lock(m_mutex);                                                                       \
        member = std::move(value);                                                                           \
    }

MURMELO_SHARE_FIELD(title, setTitle, m_title, std::string)
MURMELO_SHARE_FIELD(titlelink, setTitlelink, m_titlelink, std::string)
MURMELO_SHARE_FIELD(caption, setCaption, m_caption, std::string)
MURMELO_SHARE_FIELD(maincontent, setMaincontent, m_maincontent, std::string)
MURMELO_SHARE_FIELD(itemUrl, setItemUrl, m_itemUrl, std::string)
MURMELO_SHARE_FIELD(facebooklink, setFacebooklink, m_facebooklink, std::optional<std::string>)
MURMELO_SHARE_FIELD(imageFullPath, setImageFullPath, m_imageFullPath, std::string)
MURMELO_SHARE_FIELD(appName, setAppName, m_appName, std::string)
MURMELO_SHARE_FIELD(appLink, setAppLink, m_appLink, std::string)

#undef MURMELO_SHARE_FIELD

Value ShareFTObj::facebookAttachment() const {
    std::lock_guard lock(m_mutex);
    Dictionary properties;
    properties.set("app store link:", Value(Dictionary{{"text", Value("Get " + m_appName + " Now")},
                                                       {"href", Value(m_appLink)}}));
    if (m_facebooklink) {
        properties.set("Visit " + m_appName + " for more",
                       Value(Dictionary{{"text", Value("Go!")}, {"href", Value(*m_facebooklink)}}));
    }
    Array media;
    media.emplace_back(
        Dictionary{{"type", Value("image")}, {"src", Value(m_imageFullPath)}, {"href", Value(m_appLink)}});
    return Value(Dictionary{
        {"name", Value(m_title)},
        {"href", Value(m_titlelink)},
        {"caption", Value(m_caption)},
        {"description", Value(m_maincontent)},
        {"properties", Value(std::move(properties))},
        {"media", Value(std::move(media))},
    });
}

std::optional<std::string> ShareFTObj::getFacebookString() const {
    Result<std::string> text = writeShareJson(facebookAttachment());
    if (!text) {
        return std::nullopt;
    }
    return std::move(*text);
}

} // namespace murmelo

// ShareFTObj: the share record — the texts, links and picture that a share
// by mail, Facebook or Twitter says — and its Facebook attachment text.
//
// A documented single instance: sharedShareFTObj() makes it on first use
// under a lock on the class; alloc() is the allocation rule (the first
// allocation makes the record and gives it, every later one gives nothing).
// It is never destroyed and cannot be copied.
//
// Threading: the screens set fields on the main thread while the tweet's
// background operation reads them, so every field is guarded by the
// record's lock and the getters return copies.
//
//   ShareFTObj& record = ShareFTObj::sharedShareFTObj();
//   record.setMaincontent("my secret");
//   std::optional<std::string> attachment = record.getFacebookString();
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/core/Value.h"

namespace murmelo {

class ShareFTObj {
public:
    static ShareFTObj& sharedShareFTObj();
    // The first allocation makes and returns the record; later ones give null.
    // The record is not owned by the caller.
    static ShareFTObj* alloc();

    ShareFTObj(const ShareFTObj&) = delete;
    ShareFTObj& operator=(const ShareFTObj&) = delete;

    std::string title() const;
    void setTitle(std::string value);
    std::string titlelink() const;
    void setTitlelink(std::string value);
    std::string caption() const;
    void setCaption(std::string value);
    std::string maincontent() const;
    void setMaincontent(std::string value);
    std::string itemUrl() const;
    void setItemUrl(std::string value);
    // Nothing leaves the attachment's second property out.
    std::optional<std::string> facebooklink() const;
    void setFacebooklink(std::optional<std::string> value);
    std::string imageFullPath() const;
    void setImageFullPath(std::string value);
    std::string appName() const;
    void setAppName(std::string value);
    std::string appLink() const;
    void setAppLink(std::string value);

    // The attachment as a value: name, href, caption, description,
    // properties ("app store link:" and, with a Facebook link,
    // "Visit <appName> for more"), media.
    Value facebookAttachment() const;
    // The attachment as compact JSON text (see ShareFTObjJsonWriter.h);
    // nothing when a field is not UTF-8 text.
    std::optional<std::string> getFacebookString() const;

private:
    ShareFTObj(); // init: the product's defaults

    mutable std::mutex m_mutex;
    std::string m_title;
    std::string m_titlelink;
    std::string m_caption;
    std::string m_maincontent;
    std::string m_itemUrl;
    std::optional<std::string> m_facebooklink;
    std::string m_imageFullPath;
    std::string m_appName;
    std::string m_appLink;
};

} // namespace murmelo

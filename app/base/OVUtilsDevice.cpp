// OVUtils: device facts.
#include <cctype>

#include "app/base/OVUtils.h"
#include "platform/core/Log.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Crypto.h"
#include "platform/foundation/DeviceProfile.h"
#include "platform/foundation/FileManager.h"
#include "platform/foundation/UserDefaults.h"

namespace murmelo {

namespace {

std::string toLower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

bool OVUtils::isJailBroken() {
    return jailbreakMarkersExistBelow("");
}

bool OVUtils::jailbreakMarkersExistBelow(const std::string& root) {
    return FileManager::fileExistsAtPath(root + "/Applications/Cydia.app") ||
           FileManager::fileExistsAtPath(root + "/private/var/lib/apt");
}

bool OVUtils::isFirstGenerationModel() {
    std::string machine = toLower(specificMachineModel());
    if (machine == "iphone1,1" || machine == "ipod1,1") {
        logLine("isFirstGenerationModel:%s", machine.c_str());
        return true;
    }
    return false;
}

std::optional<std::string> OVUtils::md5HexHashOfString(std::optional<std::string_view> text) {
    if (!text) {
        return std::nullopt;
    }
    return md5Hex(*text);
}

std::string OVUtils::fullPathInDocumentDirectory(std::string_view component) {
    auto folders = searchPathForDirectoriesInDomains(SearchPathDirectory::Document, SearchPathDomain::User,
                                                     ExpandTilde::Yes);
    std::string path = folders.empty() ? std::string() : folders.front();
    // stringByAppendingPathComponent: one "/" between the two, none doubled.
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    size_t start = component.find_first_not_of('/');
    if (start == std::string_view::npos) {
        return path;
    }
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path.append(component.substr(start));
    return path;
}

std::string OVUtils::deviceDecryptionKey(std::string_view uniqueIdentifier) {
    std::string digest = md5Hex(uniqueIdentifier);
    std::string text = digest.substr(16) + "_" + digest.substr(0, 16);
    return base64Encode(text).substr(0, 32);
}

std::optional<Data> OVUtils::dataByDecryptingBase64Data(const Data& encrypted) {
    Result<Data> plain = aes256Decrypt(
        encrypted, deviceDecryptionKey(DeviceProfile::current()->uniqueIdentifier()), AesMode::Cbc);
    if (!plain) {
        return std::nullopt;
    }
    return std::move(*plain);
}

Locale OVgetCurrentLocale() {
    std::optional<Array> languages = UserDefaults::standardUserDefaults()->arrayForKey("AppleLanguages");
    if (languages && !languages->empty() && languages->front().isString()) {
        return Locale(languages->front().asString()->str());
    }
    return Locale::currentLocale();
}

std::string specificMachineModel() {
    return DeviceProfile::current()->machine();
}

} // namespace murmelo

// Helpers shared by the HTTP request tests: an Info.plist bundle, a device
// profile that never touches a home, gzip.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/core/Value.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/DeviceProfile.h"
#include "tests/support/temporary_directory.h"

namespace murmelo::test {

// Points the main bundle at a folder whose Info.plist holds `entries`
// (string keys and values) and fixes the device and locale, for the
// lifetime of the object.
class TestBundle {
public:
    explicit TestBundle(const std::vector<std::pair<std::string, std::string>>& entries) {
        std::string plist = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
        for (const auto& [key, value] : entries) {
            plist += "<key>" + key + "</key><string>" + value + "</string>";
        }
        plist += "</dict></plist>\n";
        writeFile(m_folder.file("Info.plist"), plist);
        Bundle::setMainBundlePath(m_folder.path());
        DeviceProfile::setCurrent(DeviceProfile());
        const char* previous = std::getenv("LC_ALL");
        m_previousLocale = previous ? std::optional<std::string>(previous) : std::nullopt;
        setenv("LC_ALL", "de_DE.UTF-8", 1);
    }
    ~TestBundle() {
        if (m_previousLocale) {
            setenv("LC_ALL", m_previousLocale->c_str(), 1);
        } else {
            unsetenv("LC_ALL");
        }
        Bundle::setMainBundlePath(m_empty.path());
    }
    TestBundle(const TestBundle&) = delete;
    TestBundle& operator=(const TestBundle&) = delete;

private:
    TemporaryDirectory m_folder;
    TemporaryDirectory m_empty;
    std::optional<std::string> m_previousLocale;
};

// gzip (windowBits 31), zlib (15) or raw deflate (-15) of `text`.
inline std::string compress(const std::string& text, int windowBits = 31, int level = Z_DEFAULT_COMPRESSION) {
    z_stream stream{};
    deflateInit2(&stream, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// gzip of `count` copies of `byte`, made in slices (a bomb without holding it).
inline std::string gzipRepeated(char byte, std::size_t count) {
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 31, 8, Z_RLE);
    const std::string slice(1 << 20, byte);
    std::string out;
    char buffer[1 << 16];
    std::size_t left = count;
    int flush = Z_NO_FLUSH;
    do {
        std::size_t now = std::min(left, slice.size());
        left -= now;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(slice.data()));
        stream.avail_in = static_cast<uInt>(now);
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            deflate(&stream, flush);
            out.append(buffer, sizeof buffer - stream.avail_out);
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    return out;
}

inline Data toData(const std::string& text) {
    return Data(text.begin(), text.end());
}
inline std::string toText(const Data& data) {
    return std::string(data.begin(), data.end());
}

} // namespace murmelo::test

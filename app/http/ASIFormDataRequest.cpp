#include "app/http/ASIFormDataRequest.h"

#include <algorithm>

namespace murmelo {

namespace {

// A part header may not be broken out of: quotes and line breaks in names
// are escaped the way browsers do it.
std::string escapedPartName(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '"') {
            out += "%22";
        } else if (c == '\r') {
            out += "%0D";
        } else if (c == '\n') {
            out += "%0A";
        } else {
            out += c;
        }
    }
    return out;
}

bool contains(const Data& haystack, const std::string& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

} // namespace

std::shared_ptr<ASIFormDataRequest> ASIFormDataRequest::requestWithURL(std::optional<URL> url) {
    return std::make_shared<ASIFormDataRequest>(std::move(url));
}

ASIFormDataRequest::ASIFormDataRequest(std::optional<URL> url) : ASIHTTPRequest(std::move(url)) {}

void ASIFormDataRequest::setPostValue(const Value& value, const std::string& key) {
    setPostValue(value.stringValue(), key);
}

void ASIFormDataRequest::setPostValue(const std::string& value, const std::string& key) {
    if (!m_postData) {
        m_postData.emplace();
    }
    setRequestMethod("POST");
    for (auto& [name, existing] : *m_postData) {
        if (name == key) {
            existing = value;
            return;
        }
    }
    m_postData->emplace_back(key, value);
}

void ASIFormDataRequest::addData(Data data, const std::string& key) {
    addData(std::move(data), "file", std::nullopt, key);
}

void ASIFormDataRequest::addData(Data data, std::string fileName, std::optional<std::string> contentType,
                                 const std::string& key) {
    if (!m_fileData) {
        m_fileData.emplace();
    }
    setRequestMethod("POST");
    m_fileData->push_back(FilePart{key, std::move(data), std::move(fileName), std::move(contentType)});
}

std::string ASIFormDataRequest::encodeURL(const std::string& text) const {
    std::optional<std::string> bytes = encodeString(text, m_stringEncoding);
    if (!bytes) {
        return "";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes->size() * 3);
    for (unsigned char c : *bytes) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.' || c == '_';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

void ASIFormDataRequest::appendText(const std::string& text) {
    std::optional<std::string> bytes = encodeString(text, m_stringEncoding);
    if (!bytes) {
        return;
    }
    appendPostData(Data(bytes->begin(), bytes->end()));
}

void ASIFormDataRequest::buildPostBody() {
    if (haveBuiltPostBody()) {
        return;
    }
    bool hasFields = m_postData && !m_postData->empty();
    bool hasFiles = m_fileData && !m_fileData->empty();
    if (hasFields || hasFiles) {
        if (m_postFormat == ASIPostFormat::ASIURLEncodedPostFormat) {
            buildURLEncodedPostBody();
        } else {
            buildMultipartFormDataPostBody();
        }
    }
    ASIHTTPRequest::buildPostBody();
}

void ASIFormDataRequest::buildURLEncodedPostBody() {
    if (m_fileData && !m_fileData->empty()) {
        m_postFormat = ASIPostFormat::ASIMultipartFormDataPostFormat;
        buildMultipartFormDataPostBody();
        return;
    }
    addRequestHeader("Content-Type", std::string("application/x-www-form-urlencoded; charset=") +
                                         ianaNameOfStringEncoding(m_stringEncoding));
    std::string body;
    const auto& fields = *m_postData;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        body += encodeURL(fields[i].first) + "=" + encodeURL(fields[i].second) +
                (i + 1 < fields.size() ? "&" : "");
    }
    appendText(body);
}

void ASIFormDataRequest::buildMultipartFormDataPostBody() {
    const std::string charset = ianaNameOfStringEncoding(m_stringEncoding);

    // The fixed boundary, unless some part holds it: then a longer one that
    // none holds, so no part can end the body early.
    std::string boundary = kBoundary;
    auto clashes = [&](const std::string& candidate) {
        const std::string marker = "--" + candidate;
        if (m_postData) {
            for (const auto& [key, value] : *m_postData) {
                if (value.find(marker) != std::string::npos || key.find(marker) != std::string::npos) {
                    return true;
                }
            }
        }
        if (m_fileData) {
            for (const auto& part : *m_fileData) {
                if (contains(part.data, marker)) {
                    return true;
                }
            }
        }
        return false;
    };
    for (int attempt = 1; clashes(boundary); ++attempt) {
        boundary = std::string(kBoundary) + "-" + std::to_string(attempt * 7919);
    }

    addRequestHeader("Content-Type", "multipart/form-data; charset=" + charset + "; boundary=" + boundary);
    const std::string separator = "\r\n--" + boundary + "\r\n";
    appendText("--" + boundary + "\r\n");

    std::size_t fieldCount = m_postData ? m_postData->size() : 0;
    std::size_t fileCount = m_fileData ? m_fileData->size() : 0;
    std::size_t total = fieldCount + fileCount;
    std::size_t index = 0;
    for (std::size_t i = 0; i < fieldCount; ++i, ++index) {
        const auto& [key, value] = (*m_postData)[i];
        appendText("Content-Disposition: form-data; name=\"" + escapedPartName(key) + "\"\r\n\r\n");
        appendText(value);
        if (index + 1 < total) {
            appendText(separator);
        }
    }
    for (std::size_t i = 0; i < fileCount; ++i, ++index) {
        const FilePart& part = (*m_fileData)[i];
        appendText("Content-Disposition: form-data; name=\"" + escapedPartName(part.key) + "\"; filename=\"" +
                   escapedPartName(part.fileName) + "\"\r\n");
        appendText("Content-Type: " + part.contentType.value_or("application/octet-stream") +
                   "; charset=" + charset + "\r\n\r\n");
        appendPostData(part.data);
        if (index + 1 < total) {
            appendText(separator);
        }
    }
    appendText("\r\n--" + boundary + "--\r\n");
}

} // namespace murmelo

// ASIFormDataRequest: an ASIHTTPRequest that posts form fields, URL-encoded
// (the default) or as multipart form data.
//
//   auto post =
//   ASIFormDataRequest::requestWithURL(URL::strictParse("http://c.test/index.php?r=secret/create"));
//   post->setPostValue("a b", "Secret[content]");
//   post->start();   // body Secret%5Bcontent%5D=a%20b
//
// Fields keep the order they were first set in (setting a name again
// replaces its value in place). File parts are held in memory; adding one
// switches the body to multipart. Threading and ownership as ASIHTTPRequest.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/http/ASIHTTPRequest.h"

namespace murmelo {

enum class ASIPostFormat { ASIMultipartFormDataPostFormat = 0, ASIURLEncodedPostFormat = 1 };

class ASIFormDataRequest : public ASIHTTPRequest {
public:
    static constexpr const char* kBoundary = "0xKhTmLbOuNdArY";

    struct FilePart {
        std::string key;
        Data data;
        std::string fileName;
        std::optional<std::string> contentType; // nothing: application/octet-stream
    };

    static std::shared_ptr<ASIFormDataRequest> requestWithURL(std::optional<URL> url);
    explicit ASIFormDataRequest(std::optional<URL> url);

    // The value's description (a string stays as it is) under `key`; the
    // method becomes POST.
    void setPostValue(const Value& value, const std::string& key);
    void setPostValue(const std::string& value, const std::string& key);
    void setPostValue(const char* value, const std::string& key) { setPostValue(std::string(value), key); }
    // A file part from memory (fileName "file" and no content type when not given).
    void addData(Data data, const std::string& key);
    void addData(Data data, std::string fileName, std::optional<std::string> contentType,
                 const std::string& key);

    const std::optional<HeaderFields>& postData() const { return m_postData; }
    const std::optional<std::vector<FilePart>>& fileData() const { return m_fileData; }
    ASIPostFormat postFormat() const { return m_postFormat; }
    void setPostFormat(ASIPostFormat format) { m_postFormat = format; }
    StringEncoding stringEncoding() const { return m_stringEncoding; }
    void setStringEncoding(StringEncoding encoding) { m_stringEncoding = encoding; }

    void buildPostBody() override;
    // The text in stringEncoding, every byte "%XX" but ASCII letters,
    // digits, "-", "." and "_"; "" when it cannot be encoded.
    std::string encodeURL(const std::string& text) const;

private:
    void buildURLEncodedPostBody();
    void buildMultipartFormDataPostBody();
    void appendText(const std::string& text);

    std::optional<HeaderFields> m_postData;
    std::optional<std::vector<FilePart>> m_fileData;
    ASIPostFormat m_postFormat = ASIPostFormat::ASIURLEncodedPostFormat;
    StringEncoding m_stringEncoding = StringEncoding::UTF8;
};

} // namespace murmelo

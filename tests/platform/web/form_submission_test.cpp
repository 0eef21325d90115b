// Form data sets and their encodings.
#include <gtest/gtest.h>

#include "platform/web/FormSubmission.h"

namespace murmelo::web {
namespace {

WebFormField field(std::string type, std::string name, std::string value, bool checked = false) {
    WebFormField f;
    f.type = std::move(type);
    f.name = std::move(name);
    f.value = std::move(value);
    f.checked = checked;
    if (f.type == "select")
        f.options = {f.value};
    return f;
}

WebForm form(std::string method, std::string action, std::vector<WebFormField> fields) {
    WebForm f;
    f.method = std::move(method);
    f.action = std::move(action);
    f.enctype = "application/x-www-form-urlencoded";
    f.fields = std::move(fields);
    return f;
}

std::string bodyOf(const URLRequest& request) {
    return request.HTTPBody ? std::string(request.HTTPBody->begin(), request.HTTPBody->end()) : std::string();
}

TEST(FormSubmissionTest, UrlEncodingOfNamesAndValues) {
    struct Case {
        FormDataSet data;
        const char* encoded;
    };
    const std::vector<Case> cases = {
        {{{"a", "b"}}, "a=b"},
        {{{"q", "two words"}}, "q=two+words"},
        {{{"Comment[text]", "a&b=c+d%"}}, "Comment%5Btext%5D=a%26b%3Dc%2Bd%25"},
        {{{"k", "caf\xC3\xA9 \xE2\x82\xAC"}}, "k=caf%C3%A9+%E2%82%AC"},
        {{{"safe", "*-._~"}}, "safe=*-._%7E"},
        {{{"", ""}, {"x", ""}}, "=&x="},
        {{}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(urlEncodeFormData(c.data), c.encoded);
}

TEST(FormSubmissionTest, DataSetHoldsOnlySuccessfulControls) {
    WebFormField disabled = field("text", "off", "x");
    disabled.disabled = true;
    WebForm f =
        form("GET", "http://h.test/s",
             {field("text", "t", "line1\nline2\r\nline3\rend"), field("checkbox", "yes", "on", true),
              field("checkbox", "no", "on", false), field("radio", "r", "a", false),
              field("radio", "r", "b", true), disabled, field("text", "", "nameless"),
              field("submit", "go", "Go"), field("submit", "other", "Other"), field("reset", "rs", "R"),
              field("button", "bt", "B"), field("image", "map", ""), field("select", "s", "2")});
    FormDataSet none = formDataSet(f, std::nullopt);
    EXPECT_EQ(none,
              (FormDataSet{{"t", "line1\r\nline2\r\nline3\r\nend"}, {"yes", "on"}, {"r", "b"}, {"s", "2"}}));
    FormDataSet pressed = formDataSet(f, 8);
    EXPECT_EQ(pressed.size(), 5u);
    EXPECT_EQ(pressed[3], (std::pair<std::string, std::string>{"other", "Other"}));
    FormDataSet image = formDataSet(f, 11);
    EXPECT_EQ(image[3], (std::pair<std::string, std::string>{"map.x", "0"}));
    EXPECT_EQ(image[4], (std::pair<std::string, std::string>{"map.y", "0"}));
}

TEST(FormSubmissionTest, GetReplacesTheQueryAndPostCarriesABody) {
    WebForm get = form("GET", "http://h.test/search.php?old=1#frag", {field("search", "q", "a b")});
    auto request = formSubmissionRequest(get, std::nullopt, "B");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url.absoluteString(), "http://h.test/search.php?q=a+b");
    EXPECT_EQ(request->HTTPMethod, "GET");
    EXPECT_FALSE(request->HTTPBody);

    WebForm post =
        form("POST", "http://h.test/index.php?r=comment/create", {field("textarea", "c", "hi there")});
    auto posted = formSubmissionRequest(post, std::nullopt, "B");
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->url.absoluteString(), "http://h.test/index.php?r=comment/create");
    EXPECT_EQ(posted->HTTPMethod, "POST");
    EXPECT_EQ(posted->valueForHTTPHeaderField("Content-Type").value_or(""),
              "application/x-www-form-urlencoded");
    EXPECT_EQ(bodyOf(*posted), "c=hi+there");

    post.enctype = "multipart/form-data";
    post.fields.push_back(field("text", "we\"ird\nname", "v\xC3\xA9"));
    auto multipart = formSubmissionRequest(post, std::nullopt, "XyZ");
    ASSERT_TRUE(multipart);
    EXPECT_EQ(multipart->valueForHTTPHeaderField("Content-Type").value_or(""),
              "multipart/form-data; boundary=XyZ");
    EXPECT_EQ(bodyOf(*multipart),
              "--XyZ\r\nContent-Disposition: form-data; name=\"c\"\r\n\r\nhi there\r\n"
              "--XyZ\r\nContent-Disposition: form-data; name=\"we%22ird%0D%0Aname\"\r\n\r\n"
              "v\xC3\xA9\r\n--XyZ--\r\n");

    WebForm bad = form("POST", "not a url", {});
    auto refused = formSubmissionRequest(bad, std::nullopt, "B");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code(), -1000);
}

} // namespace
} // namespace murmelo::web

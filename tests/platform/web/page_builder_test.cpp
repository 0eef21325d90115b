// Documents to page models: readable text, links, forms and their fields.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/web/PageBuilder.h"

namespace murmelo::web {
namespace {

BuiltPage build(const std::string& html, const std::string& url = "http://host.test/dir/page.php?x=1") {
    auto document = HtmlDocument::parse(html);
    return buildPage(*document, URL::strictParse(url));
}

TEST(PageBuilderTest, ReadableTextFollowsTheBlocks) {
    struct Case {
        const char* html;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"<p>Hello <b>world</b></p>", "Hello world"},
        {"<p>  lots   of\n\n space  </p>", "lots of space"},
        {"<h1>Title</h1><p>one</p><p>two</p>", "Title\none\ntwo"},
        {"<ul><li>a</li><li>b</li></ul>", "a\nb"},
        {"<p>line<br>break</p>", "line\nbreak"},
        {"<pre>  keep\n  this</pre>", "  keep\n  this"},
        {"<script>var x = 1;</script><style>p{}</style><p>shown</p>", "shown"},
        {"<table><tr><td>a</td><td>b</td></tr></table>", "a b"},
        {"<p>unclosed <b>bold<p>next", "unclosed bold\nnext"},
        {"<div><span>x</span><span>y</span></div>", "xy"},
        {"<p>a<img alt=\"pic\" src=\"p.png\">b</p>", "apicb"},
        {"text &amp; &lt;entities&gt; &eacute;", "text & <entities> \xC3\xA9"},
        {"</p></div><<>>", "<<>>"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(build(c.html).page.text(), c.text) << c.html;
}

TEST(PageBuilderTest, RunsKeepTheirStyleAndBlanksBetweenThem) {
    BuiltPage built = build("<p>Hello <b>world</b> <i>again</i></p><hr><h2>Head</h2>");
    ASSERT_EQ(built.page.blocks.size(), 3u);
    const auto& runs = built.page.blocks[0].inlines;
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, "Hello ");
    EXPECT_EQ(runs[1].text, "world ");
    EXPECT_TRUE(runs[1].bold);
    EXPECT_EQ(runs[2].text, "again");
    EXPECT_TRUE(runs[2].italic);
    EXPECT_EQ(built.page.blocks[1].kind, WebBlock::Kind::Rule);
    EXPECT_EQ(built.page.blocks[2].kind, WebBlock::Kind::Heading);
    EXPECT_EQ(built.page.blocks[2].level, 2);
}

TEST(PageBuilderTest, LinksResolveAgainstTheDocumentAndBase) {
    struct Case {
        const char* html;
        std::vector<std::pair<std::string, std::string>> links; // text, url
    };
    const std::vector<Case> cases = {
        {"<a href=\"next.php?p=2\">older  ›</a>", {{"older ›", "http://host.test/dir/next.php?p=2"}}},
        {"<a href=\"/root\">r</a><a href=\"//other.test/x\">o</a><a href=\"?q=1\">q</a>",
         {{"r", "http://host.test/root"},
          {"o", "http://other.test/x"},
          {"q", "http://host.test/dir/page.php?q=1"}}},
        {"<base href=\"http://cdn.test/base/\"><a href=\"a.html\">a</a>",
         {{"a", "http://cdn.test/base/a.html"}}},
        {"<base href=\"sub/\"><a href=\"a\">a</a>", {{"a", "http://host.test/dir/sub/a"}}},
        {"<a href=\"fbconnect:cancel\">Cancel</a>", {{"Cancel", "fbconnect:cancel"}}},
        {"<a href=\" x y.php\n\">sp</a>", {{"sp", "http://host.test/dir/x%20y.php"}}},
        {"<a href=\"caf\xC3\xA9\">u</a>", {{"u", "http://host.test/dir/caf%C3%A9"}}},
        {"<a href=\"100%\">pct</a>", {{"pct", "http://host.test/dir/100%25"}}},
        {"<a href=\"x\"><img src=\"i.png\" alt=\"Icon\"></a>", {{"Icon", "http://host.test/dir/x"}}},
        {"<a name=\"anchor\">no href</a>", {}},
        {"<a href=\"#top\">top</a>", {{"top", "http://host.test/dir/page.php?x=1#top"}}},
    };
    for (const Case& c : cases) {
        BuiltPage built = build(c.html);
        ASSERT_EQ(built.page.links.size(), c.links.size()) << c.html;
        for (std::size_t i = 0; i < c.links.size(); ++i) {
            EXPECT_EQ(built.page.links[i].text, c.links[i].first) << c.html;
            EXPECT_EQ(built.page.links[i].url, c.links[i].second) << c.html;
        }
        EXPECT_EQ(built.bindings.links.size(), c.links.size());
    }
}

TEST(PageBuilderTest, LinkRunsCarryTheirIndex) {
    BuiltPage built = build("<p>see <a href=a>one</a> and <a href=b>two <b>bold</b></a></p>");
    std::vector<std::pair<std::string, std::optional<std::size_t>>> runs;
    for (const WebInline& run : built.page.blocks.at(0).inlines)
        runs.emplace_back(run.text, run.linkIndex);
    using R = std::pair<std::string, std::optional<std::size_t>>;
    EXPECT_EQ(runs,
              (std::vector<R>{
                  {"see ", std::nullopt}, {"one ", 0}, {"and ", std::nullopt}, {"two ", 1}, {"bold", 1}}));
}

TEST(PageBuilderTest, FormsDescribeActionMethodAndFields) {
    BuiltPage built = build(R"(
        <form action="post.php" method="post" enctype="Multipart/Form-Data" id="f" name="main">
          <label for="t">Your text</label><input id="t" name="text" value="hi" placeholder="type">
          <input type="password" name="pw" value="secret">
          <input type="hidden" name="app" value="murmelo">
          <input type="checkbox" name="anon" checked>
          <input type="radio" name="c" value="a"><input type="radio" name="c" value="b" checked>
          <textarea name="body">
line one
line two</textarea>
          <select name="s"><option>first</option><option value="2" selected>second</option></select>
          <input type="weird" name="w">
          <input type="text" name="off" disabled>
          <input type="submit" name="go" value="Send">
          <button name="b2">Also <i>send</i></button>
        </form>
        <form><input name="q"></form>
        <input name="outside">)");
    ASSERT_EQ(built.page.forms.size(), 2u);
    const WebForm& form = built.page.forms[0];
    EXPECT_EQ(form.action, "http://host.test/dir/post.php");
    EXPECT_EQ(form.method, "POST");
    EXPECT_EQ(form.enctype, "multipart/form-data");
    EXPECT_EQ(form.id, "f");
    EXPECT_EQ(form.name, "main");
    struct Expect {
        std::string type, name, value;
        bool checked;
    };
    const std::vector<Expect> expected = {
        {"text", "text", "hi", false},
        {"password", "pw", "secret", false},
        {"hidden", "app", "murmelo", false},
        {"checkbox", "anon", "on", true},
        {"radio", "c", "a", false},
        {"radio", "c", "b", true},
        {"textarea", "body", "line one\nline two", false},
        {"select", "s", "2", false},
        {"text", "w", "", false},
        {"text", "off", "", false},
        {"submit", "go", "Send", false},
        {"submit", "b2", "", false},
    };
    ASSERT_EQ(form.fields.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(form.fields[i].type, expected[i].type) << i;
        EXPECT_EQ(form.fields[i].name, expected[i].name) << i;
        EXPECT_EQ(form.fields[i].value, expected[i].value) << i;
        EXPECT_EQ(form.fields[i].checked, expected[i].checked) << i;
    }
    EXPECT_EQ(form.fields[0].label, "Your text");
    EXPECT_EQ(form.fields[0].placeholder, "type");
    EXPECT_EQ(form.fields[7].options, (std::vector<std::string>{"first", "2"}));
    EXPECT_TRUE(form.fields[9].disabled);
    EXPECT_EQ(form.fields[10].label, "Send");
    EXPECT_EQ(form.fields[11].label, "Also send");

    const WebForm& bare = built.page.forms[1];
    EXPECT_EQ(bare.action, "http://host.test/dir/page.php?x=1") << "no action: the document's address";
    EXPECT_EQ(bare.method, "GET");
    EXPECT_EQ(bare.enctype, "application/x-www-form-urlencoded");
    EXPECT_EQ(built.bindings.forms[0].fields.size(), expected.size());
}

TEST(PageBuilderTest, FieldsFollowTheirLiveState) {
    auto document =
        HtmlDocument::parse("<form><input id=a name=a value=x><input type=checkbox id=c name=c>"
                            "<select id=s name=s><option>1</option><option>2</option></select></form>");
    document->getElementById("a")->setLiveValue("typed");
    document->getElementById("c")->setLiveChecked(true);
    document->getElementById("s")->setLiveValue("2");
    BuiltPage built = buildPage(*document, URL::strictParse("http://h.test/"));
    const auto& fields = built.page.forms.at(0).fields;
    EXPECT_EQ(fields[0].value, "typed");
    EXPECT_TRUE(fields[1].checked);
    EXPECT_EQ(fields[2].value, "2");
}

TEST(PageBuilderTest, BackgroundColourFromBodyAttributeOrStyle) {
    struct Case {
        const char* html;
        std::optional<std::string> color;
    };
    const std::vector<Case> cases = {
        {"<body bgcolor=\"#FFF\">x", "#ffffff"},
        {"<body style=\"color: red; background-color: #102030\">x", "#102030"},
        {"<body style=\"background: black url(x.png)\">x", "#000000"},
        {"<body style=\"background-color: rgb(1, 2, 3)\" bgcolor=white>x", "#010203"},
        {"<body bgcolor=\"nonsense\">x", std::nullopt},
        {"<body>x", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(build(c.html).page.backgroundColor, c.color) << c.html;
}

TEST(PageBuilderTest, ImagesKeepAddressAndSize) {
    BuiltPage built = build("<p><img src=\"../i.png\" width=\"20\" height=\"bad\" alt=\"A\"></p>");
    const WebInline& image = built.page.blocks.at(0).inlines.at(0);
    EXPECT_EQ(image.kind, WebInline::Kind::Image);
    EXPECT_EQ(image.imageURL, "http://host.test/i.png");
    EXPECT_EQ(image.imageWidth, 20);
    EXPECT_EQ(image.imageHeight, 0);
}

TEST(PageBuilderTest, DeepAndHugeDocumentsBuildWithoutTrouble) {
    auto nested = [](int depth) {
        std::string html;
        for (int i = 0; i < depth; ++i)
            html += "<div>";
        return html + "bottom<a href=x>link</a>";
    };
    BuiltPage deep = build(nested(3000));
    EXPECT_EQ(deep.page.text(), "bottomlink");
    EXPECT_EQ(deep.page.links.size(), 0u) << "below the tree's depth limit links are flattened to text";

    auto begin = std::chrono::steady_clock::now();
    BuiltPage hostile = build(nested(400000));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(hostile.page.text(), "") << "cut off where the nesting passes the limit";
    EXPECT_LT(seconds, 30);

    std::string huge;
    while (huge.size() < 2 * 1024 * 1024)
        huge += "<p>Secret number " + std::to_string(huge.size()) + " <a href=\"s.php\">comments</a></p>\n";
    BuiltPage big = build(huge);
    EXPECT_GT(big.page.links.size(), 20000u);
    EXPECT_EQ(big.page.links.size(), big.page.blocks.size());
}

TEST(PageBuilderTest, NestingEstimateCountsOnlyElementsThatStayOpen) {
    struct Case {
        std::string html;
        std::size_t cut; // npos: not cut
    };
    const std::size_t none = std::string::npos;
    const std::vector<Case> cases = {
        {"<div><div><div>x", 10},
        {"<div><div>x", none},
        {"<div></div><div></div><div></div>", none},
        {"<p><p><p><li><li><br><br><img><input>", none},
        {"<span/><span/><span/>", none},
        {"<div a='>'><div b=\"<div>\"><!-- <div> -->x", none},
        {"<script><div><div><div></script>", none},
        {"<TEXTAREA><b><b><b></TeXtArea>", none},
        {"<b><i><u>x", 6},
        {"1 < 2 <3 </ div", none},
    };
    for (const Case& c : cases) {
        std::size_t cut = markupNestingCutOff(c.html, 2);
        EXPECT_EQ(cut, c.cut == none ? c.html.size() : c.cut) << c.html;
    }
}

} // namespace
} // namespace murmelo::web

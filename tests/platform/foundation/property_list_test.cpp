#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>

#include "platform/foundation/PropertyListSerialization.h"
#include "tests/support/temporary_directory.h"

using namespace murmelo;

namespace {

Value everyType() {
    Dictionary nested{
        {"inner", Value(Array{Value(1), Value("two"), Value(Dictionary{{"deep", Value(true)}})})}};
    return Value(Dictionary{
        {"string", Value("plain & <escaped> \"text\"")},
        {"unicode", Value("Grüße, 世界 🎉")},
        {"empty", Value("")},
        {"integer", Value(42)},
        {"negative", Value(-9'000'000'000LL)},
        {"max", Value(9'223'372'036'854'775'807LL)},
        {"min", Value(-9'223'372'036'854'775'807LL - 1)},
        {"real", Value(0.1)},
        {"tiny", Value(-1.5e-300)},
        {"true", Value(true)},
        {"false", Value(false)},
        {"date", Value(Date{316'224'000.0})},
        {"data", Value(Data{0, 1, 2, 0xff, 0x80})},
        {"emptyData", Value(Data{})},
        {"array", Value(Array{Value(1), Value(2.5), Value("x")})},
        {"emptyArray", Value(Array{})},
        {"emptyDict", Value(Dictionary{})},
        {"nested", Value(nested)},
    });
}

Value nestedArrays(int depth) {
    Value v = Value(Array{});
    for (int i = 0; i < depth; ++i) {
        v = Value(Array{std::move(v)});
    }
    return v;
}

} // namespace

TEST(PropertyList, RoundTripsEveryTypeInBothFormats) {
    for (auto format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
        SCOPED_TRACE(format == PropertyListFormat::Xml ? "xml" : "binary");
        Value original = everyType();
        auto bytes = PropertyListSerialization::dataWithPropertyList(original, format);
        ASSERT_TRUE(bytes) << bytes.error().localizedDescription();
        PropertyListFormat detected{};
        auto back = PropertyListSerialization::propertyListWithData(*bytes, PropertyListMutability::Immutable,
                                                                    &detected);
        ASSERT_TRUE(back) << back.error().localizedDescription();
        EXPECT_EQ(detected, format);
        EXPECT_EQ(*back, original) << back->debugDescription();
        // Types survive, not just numeric equality.
        EXPECT_EQ(back->find("true")->type(), ValueType::Boolean);
        EXPECT_EQ(back->find("integer")->type(), ValueType::Integer);
        EXPECT_EQ(back->find("real")->type(), ValueType::Real);
        EXPECT_EQ(back->find("date")->type(), ValueType::Date);
        EXPECT_EQ(back->find("data")->type(), ValueType::Data);
    }
}

TEST(PropertyList, DatesKeepWholeSecondsInXmlAndMicrosecondsInBinary) {
    Value date(Date{123'456'789.25});
    auto xml = PropertyListSerialization::dataWithPropertyList(date, PropertyListFormat::Xml);
    auto bin = PropertyListSerialization::dataWithPropertyList(date, PropertyListFormat::Binary);
    ASSERT_TRUE(xml && bin);
    EXPECT_NE(xml->find("<date>2004-11-29T21:33:09Z</date>"), std::string::npos) << *xml;
    auto fromXml = PropertyListSerialization::propertyListWithData(*xml);
    auto fromBin = PropertyListSerialization::propertyListWithData(*bin);
    ASSERT_TRUE(fromXml && fromBin);
    EXPECT_DOUBLE_EQ(fromXml->asDate()->sinceReferenceDate, 123'456'789.0);
    EXPECT_DOUBLE_EQ(fromBin->asDate()->sinceReferenceDate, 123'456'789.25);
}

TEST(PropertyList, ReadsHandWrittenXml) {
    const char* xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
  <!-- a comment with <dict> inside -->
  <key>ver</key><string>1.1</string>
  <key>title</key><string>Try &amp; see</string>
  <key>count</key><integer>-12</integer>
  <key>ratio</key><real>2.5</real>
  <key>yes</key><true/>
  <key>blob</key><data>AAEC/w==</data>
  <key>when</key><date>2001-01-02T00:00:00Z</date>
  <key>list</key><array><string>a</string><array/></array>
</dict>
</plist>)";
    auto value = PropertyListSerialization::propertyListWithData(std::string_view(xml));
    ASSERT_TRUE(value) << value.error().localizedDescription();
    EXPECT_EQ(*value, Value(Dictionary{{"ver", Value("1.1")},
                                       {"title", Value("Try & see")},
                                       {"count", Value(-12)},
                                       {"ratio", Value(2.5)},
                                       {"yes", Value(true)},
                                       {"blob", Value(Data{0, 1, 2, 0xff})},
                                       {"when", Value(Date{86400})},
                                       {"list", Value(Array{Value("a"), Value(Array{})})}}));
}

TEST(PropertyList, WritesDecimalsAsRealsAndRefusesWhatHasNoForm) {
    auto decimal = PropertyListSerialization::dataWithPropertyList(Value(*Decimal::fromString("12.5")),
                                                                   PropertyListFormat::Xml);
    ASSERT_TRUE(decimal);
    auto back = PropertyListSerialization::propertyListWithData(*decimal);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->type(), ValueType::Real);
    EXPECT_DOUBLE_EQ(back->doubleValue(), 12.5);

    struct Case {
        const char* name;
        Value value;
    } cases[] = {
        {"null", Value()},
        {"null inside an array", Value(Array{Value(1), Value()})},
        {"null inside a dictionary", Value(Dictionary{{"k", Value()}})},
        {"invalid UTF-8", Value(std::string("\xff\xfe"))},
        {"NUL in a string", Value(std::string("a\0b", 3))},
        {"NUL in a key", Value(Dictionary{{std::string("k\0", 2), Value(1)}})},
        {"date before 1933", Value(Date{-3e9})},
        {"date after 2069", Value(Date{3e9})},
        {"too deep", nestedArrays(PropertyListSerialization::kMaxDepth + 2)},
    };
    for (const auto& c : cases) {
        for (auto format : {PropertyListFormat::Xml, PropertyListFormat::Binary}) {
            SCOPED_TRACE(c.name);
            auto r = PropertyListSerialization::dataWithPropertyList(c.value, format);
            EXPECT_FALSE(r);
            if (!r) {
                EXPECT_FALSE(r.error().localizedDescription().empty());
            }
        }
    }
}

TEST(PropertyList, MalformedInputIsAnErrorNotACrash) {
    auto valid = PropertyListSerialization::dataWithPropertyList(everyType(), PropertyListFormat::Binary);
    ASSERT_TRUE(valid);
    std::string binary = *valid;
    auto patched = [&](size_t fromEnd, std::string bytes) {
        std::string copy = binary;
        copy.replace(copy.size() - fromEnd, bytes.size(), bytes);
        return copy;
    };
    const std::string header = "bplist00";
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"not xml", "hello world"},
        {"unclosed dict", "<plist><dict><key>a</key><string>b</string></plist>"},
        {"header only", header},
        {"truncated binary", binary.substr(0, binary.size() - 1)},
        {"binary cut in half", binary.substr(0, binary.size() / 2)},
        {"offset size zero", patched(26, std::string(1, '\0'))},
        {"reference size nine", patched(25, std::string(1, '\x09'))},
        {"huge object count", patched(24, std::string(8, '\xff'))},
        {"top object out of range", patched(16, std::string("\x7f\xff\xff\xff\xff\xff\xff\xff", 8))},
        {"offset table past the end", patched(8, std::string("\x00\x00\x00\x00\x7f\xff\xff\xff", 8))},
        {"offset table in the header", patched(8, std::string("\0\0\0\0\0\0\0\x02", 8))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = PropertyListSerialization::propertyListWithData(c.bytes);
        EXPECT_FALSE(r);
        if (!r) {
            EXPECT_EQ(r.error().code(), 3840);
        }
    }
}

namespace {

// Builds a binary list by hand: objects, then the offset table, then the trailer.
std::string makeBinary(const std::vector<std::string>& objects, size_t top, unsigned refSize = 1) {
    std::string out = "bplist00";
    std::vector<size_t> offsets;
    for (const auto& o : objects) {
        offsets.push_back(out.size());
        out += o;
    }
    size_t table = out.size();
    for (size_t offset : offsets) {
        out.push_back(static_cast<char>(offset >> 8));
        out.push_back(static_cast<char>(offset));
    }
    std::string trailer(32, '\0');
    trailer[6] = 2;
    trailer[7] = static_cast<char>(refSize);
    auto put = [&](size_t at, uint64_t v) {
        for (int k = 7; k >= 0; --k, v >>= 8) {
            trailer[at + static_cast<size_t>(k)] = static_cast<char>(v & 0xff);
        }
    };
    put(8, objects.size());
    put(16, top);
    put(24, table);
    return out + trailer;
}

} // namespace

TEST(PropertyList, HostileBinaryStructuresAreRefused) {
    // Object 0 is an array holding itself.
    std::string cycle = makeBinary({std::string("\xA1\x00", 2)}, 0);
    // Two arrays that hold each other.
    std::string mutual = makeBinary({std::string("\xA1\x01", 2), std::string("\xA1\x00", 2)}, 0);
    // Thirty arrays, each holding the next one twice: 2^30 objects once expanded.
    std::vector<std::string> doubling;
    for (int i = 0; i < 30; ++i) {
        doubling.push_back(std::string{'\xA2', static_cast<char>(i + 1), static_cast<char>(i + 1)});
    }
    doubling.push_back("\x10\x01");
    std::string expansion = makeBinary(doubling, 0);
    // A dictionary whose key is an integer.
    std::string intKey = makeBinary({std::string("\xD1\x01\x01", 3), std::string("\x10\x05", 2)}, 0);
    // Keys with a NUL character (libplist 2.2 asserts on them).
    std::string nulKey = makeBinary(
        {std::string("\xD1\x01\x02", 3), std::string("\x52\x61\x00", 3), std::string("\x10\x05", 2)}, 0);
    std::string nulUtf16Key = makeBinary(
        {std::string("\xD1\x01\x02", 3), std::string("\x62\x00\x61\x00\x00", 5), std::string("\x10\x05", 2)},
        0);
    // A reference to an object that does not exist.
    std::string danglingRef = makeBinary({std::string("\xA1\x07", 2)}, 0);
    // A string claiming more bytes than there are.
    std::string longString = makeBinary({std::string("\x5F\x10\x7f", 3) + "abc"}, 0);
    // Nesting beyond the limit.
    std::vector<std::string> deep;
    const int depth = PropertyListSerialization::kMaxDepth + 10;
    for (int i = 0; i < depth; ++i) {
        deep.push_back(std::string{'\xA1', static_cast<char>((i + 1) >> 8), static_cast<char>(i + 1)});
    }
    deep.push_back("\x09");
    std::string tooDeep = makeBinary(deep, 0, 2);

    struct Case {
        const char* name;
        std::string bytes;
        const char* fragment;
    } cases[] = {
        {"self cycle", cycle, "cycle"},
        {"mutual cycle", mutual, "cycle"},
        {"exponential expansion", expansion, "too many objects"},
        {"integer key", intKey, "key is not a string"},
        {"NUL in a key", nulKey, "NUL"},
        {"NUL in a UTF-16 key", nulUtf16Key, "NUL"},
        {"NUL byte in XML", std::string("<plist><dict><key>a\0b</key><string>x</string></dict></plist>", 60),
         "NUL"},
        {"dangling reference", danglingRef, "reference out of range"},
        {"string past the end", longString, "past its data"},
        {"too deep", tooDeep, "too deeply"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = PropertyListSerialization::propertyListWithData(c.bytes);
        ASSERT_FALSE(r);
        EXPECT_NE(r.error().localizedDescription().find(c.fragment), std::string::npos)
            << r.error().localizedDescription();
    }

    // The same builder makes a list libplist accepts, so the checks above are
    // about the damage and not about the builder.
    std::string fine = makeBinary({std::string("\xA2\x01\x01", 3), std::string("\x10\x05", 2)}, 0);
    auto ok = PropertyListSerialization::propertyListWithData(fine);
    ASSERT_TRUE(ok) << ok.error().localizedDescription();
    EXPECT_EQ(*ok, Value(Array{Value(5), Value(5)}));
    std::string utf16Key = makeBinary(
        {std::string("\xD1\x01\x02", 3), std::string("\x62\x00\x61\x00\xe4", 5), std::string("\x10\x05", 2)},
        0);
    auto keyed = PropertyListSerialization::propertyListWithData(utf16Key);
    ASSERT_TRUE(keyed) << keyed.error().localizedDescription();
    EXPECT_EQ(*keyed, Value(Dictionary{{"a\xc3\xa4", Value(5)}}));
}

TEST(PropertyList, DeepXmlNestingIsRefusedAndModerateNestingReads) {
    auto nested = [](int depth) {
        std::string xml = "<plist>";
        for (int i = 0; i < depth; ++i) {
            xml += "<array>";
        }
        for (int i = 0; i < depth; ++i) {
            xml += "</array>";
        }
        return xml + "</plist>";
    };
    auto fine = PropertyListSerialization::propertyListWithData(nested(100));
    ASSERT_TRUE(fine) << fine.error().localizedDescription();
    EXPECT_EQ(*fine, nestedArrays(99));
    // A hundred thousand levels must not overflow the stack.
    auto deep = PropertyListSerialization::propertyListWithData(nested(100'000));
    ASSERT_FALSE(deep);
    // Closing tags hidden in comments do not fool the depth count.
    std::string sneaky = "<plist>";
    for (int i = 0; i < 1000; ++i) {
        sneaky += "<array><!-- </array> -->";
    }
    EXPECT_FALSE(PropertyListSerialization::propertyListWithData(sneaky));
}

TEST(PropertyList, FileHelpersGiveNothingOnAnyError) {
    test::TemporaryDirectory dir;
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(Value(Dictionary{{"a", Value(1)}}),
                                                                   dir.file("dict.plist")));
    ASSERT_TRUE(PropertyListSerialization::writePropertyListToFile(
        Value(Array{Value("x")}), dir.file("array.plist"), PropertyListFormat::Binary, 0600));
    test::writeFile(dir.file("garbage.plist"), "<plist><dict><key>");
    struct stat st {};
    ASSERT_EQ(stat(dir.file("array.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_EQ(dictionaryWithContentsOfFile(dir.file("dict.plist")), (Dictionary{{"a", Value(1)}}));
    EXPECT_EQ(arrayWithContentsOfFile(dir.file("array.plist")), (Array{Value("x")}));
    EXPECT_FALSE(dictionaryWithContentsOfFile(dir.file("array.plist")));
    EXPECT_FALSE(arrayWithContentsOfFile(dir.file("dict.plist")));
    EXPECT_FALSE(dictionaryWithContentsOfFile(dir.file("garbage.plist")));
    EXPECT_FALSE(dictionaryWithContentsOfFile(dir.file("missing.plist")));
    EXPECT_FALSE(dictionaryWithContentsOfFile(dir.path()));
}

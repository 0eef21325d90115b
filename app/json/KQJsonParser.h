// KQJsonParser: reads JSON text into the device's Value model.
//
//   KQJsonParser parser;
//   Result<Value> v = parser.objectWithString(R"({"code": 200, "msg": "ok"})");
//   if (!v) logLine("%s", v.error().localizedDescription().c_str());
//
// Objects become Dictionary (insertion order kept; a repeated key keeps its
// first position and takes the last value), arrays Array, strings UTF-8
// std::string, numbers exact Decimal, true/false Value(bool), null the null
// Value. The input is UTF-8 and ends at its first zero byte.
//
// Threading: one call at a time per instance; separate instances may run on
// separate threads. The parser owns its trace and scratch stacks it reuses
// between calls; results are the caller's.
//
// Nesting is handled without recursion, so deep input cannot exhaust the
// stack here; depth beyond maxDepth (or kHardDepthLimit) is error 7.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/json/KQJsonBase.h"
#include "platform/core/Result.h"
#include "platform/core/Value.h"

namespace murmelo {

class KQJsonParser : public KQJsonBase {
public:
    KQJsonParser() = default;
    KQJsonParser(const KQJsonParser&) = delete;
    KQJsonParser& operator=(const KQJsonParser&) = delete;

    // A text whose top level is an object or an array. std::nullopt stands for
    // no input at all (error 12). On failure the error is the trace's last.
    [[nodiscard]] Result<Value> objectWithString(std::optional<std::string_view> text);
    // A text whose top level is any JSON value.
    [[nodiscard]] Result<Value> fragmentWithString(std::optional<std::string_view> text);

    // Byte offset of the read position when the last call stopped.
    size_t c() const { return m_position; }

private:
    // An open container. Its finished elements (members) wait on m_elements
    // (m_members) from `base` up, and become one exactly sized container when
    // it closes. A member goes on m_members as soon as its key is read, its
    // key read in place; its value follows into the same entry.
    struct Frame {
        size_t base;
        size_t member; // object frames: the entry whose value is being read
        bool isObject;
        // Object frames: whether a key repeated, known without comparing
        // keys unless two share a fingerprint (Dictionary::keyFingerprint).
        bool keyRepeated;
        std::uint64_t keyFingerprints;
    };

    // readValue's states; each step below reads what its state expects and
    // gives the next state.
    enum class Step {
        Value,           // read a value at the read position
        ArrayNext,       // inside an array, after "[" or ","
        ObjectNext,      // inside an object, after "{" or ","
        Stored,          // a finished value went where it belongs
        ValueFailed,     // reading a value failed; every open level adds its error
        ContainerFailed, // the innermost open container failed at its own level
    };

    Result<Value> read(std::optional<std::string_view> text);
    bool readValue(Value& out);
    // Inline: only readValue's loop uses them, and the reader is measured with
    // them folded into it (bench/json_bench.cpp).
    [[gnu::always_inline]] inline Step beginValue();
    [[gnu::always_inline]] inline Step openContainer(char bracket);
    [[gnu::always_inline]] inline Step readKeyword(std::string_view rest, Value value, const char* expected);
    [[gnu::always_inline]] inline Step continueArray();
    [[gnu::always_inline]] inline Step continueObject();
    [[gnu::always_inline]] inline Step afterItem(char close);
    // Builds the finished value where it belongs: the open array's elements,
    // the open object's members under the key read before it, or the result.
    template <typename T> [[gnu::always_inline]] inline void store(T&& value);
    // An empty string where the next value belongs, for readString to fill.
    [[gnu::always_inline]] inline ValueString& storeString();
    void addEnclosingErrors();
    bool keyReadBefore(const Frame& frame) const;
    // Into a key or a string value.
    template <typename Text> bool readString(Text& out);
    template <typename Text> bool readEscape(Text& out);
    template <typename Text> bool readUnicodeEscape(Text& out);
    bool readHexQuad(std::uint32_t& out);
    bool readNumber();
    bool readLiteral(std::string_view rest);
    void skipWhitespace();
    // The byte at the read position; 0 at the end (the input holds no zero).
    unsigned char peek() const { return m_p < m_end ? static_cast<unsigned char>(*m_p) : 0; }
    bool atEnd() const { return m_p >= m_end; }
    Error failure();
    Array closeArray();
    Dictionary closeObject();

    const char* m_begin = nullptr;
    const char* m_p = nullptr;
    const char* m_end = nullptr;
    size_t m_position = 0;
    std::vector<Frame> m_stack;
    Value* m_result = nullptr;
    // Heap memory like std::allocator (the stacks outlive every document's
    // arena), but moved-from scalars are dropped without a destructor call.
    template <typename T> struct ScratchAllocator : std::allocator<T> {
        ScratchAllocator() = default;
        template <typename U> ScratchAllocator(const ScratchAllocator<U>&) noexcept {}
        template <typename U> void destroy(U* pointer) noexcept { ValueAllocator<U>().destroy(pointer); }
    };
    std::vector<Value, ScratchAllocator<Value>> m_elements;
    std::vector<Dictionary::Entry, ScratchAllocator<Dictionary::Entry>> m_members;
};

} // namespace murmelo

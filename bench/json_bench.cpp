// JSON reading and writing speed, ours side by side with RapidJSON (DOM),
// simdjson (DOM, the upper reference) and nlohmann::json in the same run, on
// three generated documents:
//   tweets   — many short strings (some non-ASCII and \u escapes), nested
//              objects, booleans and nulls;
//   numbers  — deep arrays of 15-digit coordinate pairs;
//   catalog  — many objects with integer values under numeric-string keys.
// The generator is deterministic (fixed seed), so every run measures the same
// bytes. Throughput is reported against the document's size.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <malloc.h>
#include <string>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>

#include "app/json/KQJsonParser.h"
#include "app/json/KQJsonWriter.h"

namespace {

using murmelo::KQJsonParser;
using murmelo::KQJsonWriter;
using murmelo::Value;

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    bool chance(unsigned percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

const char* const kWords[] = {"secret", "night",  "friend", "never", "told",   "anyone", "school", "love",
                              "mother", "city",   "work",   "dream", "always", "today",  "phone",  "coffee",
                              "rain",   "summer", "quiet",  "laugh", "train",  "letter", "music",  "garden"};
// Non-ASCII words as raw UTF-8 and as \u escapes.
const char* const kForeign[] = {"caf\xc3\xa9",
                                "na\xc3\xafve",
                                "\xe6\x97\xa5\xe6\x9c\xac",
                                "\xd0\xbf\xd1\x80\xd0\xb8",
                                "\xf0\x9f\x98\x80",
                                "Stra\xc3\x9f"
                                "e"};
const char* const kEscaped[] = {"\\u00e9t\\u00e9", "\\u65e5\\u672c", "\\ud83d\\ude0a",
                                "line\\nbreak",    "say \\\"hi\\\"", "http:\\/\\/murmelo.example\\/s"};

void appendWords(Random& random, std::string& out, int count) {
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            out += ' ';
        }
        unsigned pick = static_cast<unsigned>(random.below(100));
        if (pick < 8) {
            out += kForeign[random.below(std::size(kForeign))];
        } else if (pick < 14) {
            out += kEscaped[random.below(std::size(kEscaped))];
        } else {
            out += kWords[random.below(std::size(kWords))];
        }
    }
}

void appendQuotedWords(Random& random, std::string& out, int count) {
    out += '"';
    appendWords(random, out, count);
    out += '"';
}

std::string tweetsDocument(size_t targetBytes) {
    Random random(1);
    std::string out = "{\"statuses\":[";
    for (std::uint64_t n = 0; out.size() < targetBytes; ++n) {
        if (n > 0) {
            out += ',';
        }
        std::uint64_t id = 505874924095815681ULL + n * 7919;
        out += "{\"metadata\":{\"result_type\":\"recent\",\"iso_language_code\":\"en\"},\"created_at\":\"Sun "
               "Aug 31 ";
        out += std::to_string(random.below(24)) + ":00:29 +0000 2014\",\"id\":" + std::to_string(id);
        out += ",\"id_str\":\"" + std::to_string(id) + "\",\"text\":";
        appendQuotedWords(random, out, 6 + static_cast<int>(random.below(14)));
        out += ",\"truncated\":false,\"in_reply_to_status_id\":";
        out += random.chance(30) ? std::to_string(id - 12345) : "null";
        out += ",\"user\":{\"id\":" + std::to_string(1186275104 + random.below(1000000));
        out += ",\"name\":";
        appendQuotedWords(random, out, 2);
        out += ",\"screen_name\":\"user_" + std::to_string(random.below(100000)) + "\",\"location\":";
        appendQuotedWords(random, out, 1);
        out += ",\"description\":";
        appendQuotedWords(random, out, 4 + static_cast<int>(random.below(10)));
        out += ",\"url\":null,\"entities\":{\"description\":{\"urls\":[]}},\"protected\":false,\"followers_"
               "count\":";
        out += std::to_string(random.below(5000)) + ",\"verified\":" + (random.chance(5) ? "true" : "false");
        out += ",\"profile_background_color\":\"C0DEED\",\"default_profile\":true},\"geo\":null,"
               "\"coordinates\":null";
        out += ",\"entities\":{\"hashtags\":[";
        int tags = static_cast<int>(random.below(3));
        for (int t = 0; t < tags; ++t) {
            out += t > 0 ? "," : "";
            out += "{\"text\":\"" + std::string(kWords[random.below(std::size(kWords))]) + "\",\"indices\":[";
            out += std::to_string(t * 10) + "," + std::to_string(t * 10 + 8) + "]}";
        }
        out += "],\"urls\":[],\"user_mentions\":[]},\"retweet_count\":" + std::to_string(random.below(300));
        out += ",\"favorited\":false,\"retweeted\":" + std::string(random.chance(20) ? "true" : "false");
        out += ",\"lang\":\"en\"}";
    }
    out += "]}";
    return out;
}

// A coordinate with 15 significant digits, like "-122.419415837265".
void appendCoordinate(Random& random, std::string& out, int integerDigits) {
    if (random.chance(50)) {
        out += '-';
    }
    std::uint64_t whole = 1 + random.below(integerDigits == 3 ? 179 : 89);
    std::string wholeText = std::to_string(whole);
    out += wholeText;
    out += '.';
    std::string fraction = std::to_string(100000000000000ULL + random.below(900000000000000ULL));
    out.append(fraction, 0, 15 - wholeText.size());
}

std::string numbersDocument(size_t targetBytes) {
    Random random(2);
    std::string out = "{\"type\":\"FeatureCollection\",\"features\":[";
    for (int feature = 0; out.size() < targetBytes; ++feature) {
        out += feature > 0 ? "," : "";
        out += "{\"type\":\"Feature\",\"properties\":{\"name\":\"area " + std::to_string(feature) +
               "\"},\"geometry\":{\"type\":\"Polygon\",\"coordinates\":[";
        int rings = 1 + static_cast<int>(random.below(3));
        for (int ring = 0; ring < rings; ++ring) {
            out += ring > 0 ? ",[" : "[";
            int points = 50 + static_cast<int>(random.below(200));
            for (int point = 0; point < points; ++point) {
                out += point > 0 ? ",[" : "[";
                appendCoordinate(random, out, 3);
                out += ',';
                appendCoordinate(random, out, 2);
                out += ']';
            }
            out += ']';
        }
        out += "]}}";
    }
    out += "]}";
    return out;
}

std::string catalogDocument(size_t targetBytes) {
    Random random(3);
    std::string out = "{\"areaNames\":{";
    for (int i = 0; i < 20; ++i) {
        out += i > 0 ? "," : "";
        out += '"';
        out += std::to_string(205705993 + i) + "\":\"Arri\xc3\xa8re-sc\xc3\xa8ne " + std::to_string(i) + "\"";
    }
    out += "},\"events\":{";
    for (int event = 0; out.size() < targetBytes / 2; ++event) {
        std::string id = std::to_string(138586341 + event * 4);
        out += event > 0 ? "," : "";
        out += "\"" + id + "\":{\"description\":null,\"id\":" + id + ",\"logo\":null,\"name\":";
        appendQuotedWords(random, out, 3);
        out += ",\"subTopicIds\":[";
        int topics = 1 + static_cast<int>(random.below(5));
        for (int t = 0; t < topics; ++t) {
            out += t > 0 ? "," : "";
            out += std::to_string(337184262 + random.below(100));
        }
        out += "],\"subjectCode\":null,\"subtitle\":null,\"topicIds\":[" +
               std::to_string(324846099 + random.below(10)) + "," +
               std::to_string(107888604 + random.below(10)) + "]}";
    }
    out += "},\"performances\":[";
    for (int show = 0; out.size() < targetBytes; ++show) {
        out += show > 0 ? "," : "";
        out += "{\"eventId\":" + std::to_string(138586341 + random.below(1000) * 4) +
               ",\"id\":" + std::to_string(339887544 + show) + ",\"logo\":null,\"name\":null,\"prices\":[";
        int prices = 2 + static_cast<int>(random.below(6));
        for (int p = 0; p < prices; ++p) {
            out += p > 0 ? "," : "";
            out += "{\"amount\":" + std::to_string(9000 + random.below(200) * 250) +
                   ",\"audienceSubCategoryId\":337100890,\"seatCategoryId\":" +
                   std::to_string(338937290 + random.below(40)) + "}";
        }
        out += "],\"seatCategories\":[";
        int categories = 1 + static_cast<int>(random.below(4));
        for (int s = 0; s < categories; ++s) {
            out += s > 0 ? "," : "";
            out += "{\"areas\":[{\"areaId\":" + std::to_string(205705993 + random.below(20)) +
                   ",\"blockIds\":[]}],\"seatCategoryId\":" + std::to_string(338937290 + random.below(40)) +
                   "}";
        }
        out += "],\"seatMapImage\":null,\"start\":" + std::to_string(1372701600000ULL + show * 86400000ULL) +
               ",\"venueCode\":\"PLEYEL_PLEYEL\"}";
    }
    out += "]}";
    return out;
}

constexpr size_t kDocumentBytes = 3 * 1024 * 1024;

const std::string& document(int which) {
    static const std::string docs[] = {tweetsDocument(kDocumentBytes), numbersDocument(kDocumentBytes),
                                       catalogDocument(kDocumentBytes)};
    return docs[which];
}

const char* const kNames[] = {"tweets", "numbers", "catalog"};

void setBytes(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.SetLabel(kNames[state.range(0)] + std::string(" ") + std::to_string(bytes / 1024) + " KiB");
}

void ReadOurs(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    KQJsonParser parser;
    for (auto _ : state) {
        murmelo::Result<Value> value = parser.objectWithString(text);
        if (!value) {
            state.SkipWithError(value.error().localizedDescription().c_str());
            break;
        }
        benchmark::DoNotOptimize(value);
    }
    setBytes(state, text.size());
}

void ReadRapidJSON(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(text.data(), text.size());
        if (doc.HasParseError()) {
            state.SkipWithError("RapidJSON parse error");
            break;
        }
        benchmark::DoNotOptimize(doc);
    }
    setBytes(state, text.size());
}

// The parser and its tape are reused between iterations, as simdjson intends.
void ReadSimdjson(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element doc;
        if (parser.parse(padded).get(doc) != simdjson::SUCCESS) {
            state.SkipWithError("simdjson parse error");
            break;
        }
        benchmark::DoNotOptimize(doc);
    }
    setBytes(state, text.size());
}

void ReadNlohmann(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        nlohmann::json doc = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(doc);
    }
    setBytes(state, text.size());
}

void WriteOurs(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    KQJsonParser parser;
    Value value = *parser.objectWithString(text);
    KQJsonWriter writer;
    for (auto _ : state) {
        murmelo::Result<std::string> out = writer.stringWithObject(value);
        benchmark::DoNotOptimize(out);
    }
    setBytes(state, text.size());
}

void WriteRapidJSON(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    rapidjson::Document doc;
    doc.Parse(text.data(), text.size());
    for (auto _ : state) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        doc.Accept(writer);
        benchmark::DoNotOptimize(buffer.GetString());
    }
    setBytes(state, text.size());
}

void WriteSimdjson(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    simdjson::dom::element doc = parser.parse(padded).value();
    for (auto _ : state) {
        std::string out = simdjson::to_string(doc);
        benchmark::DoNotOptimize(out);
    }
    setBytes(state, text.size());
}

void WriteNlohmann(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    nlohmann::json doc = nlohmann::json::parse(text);
    for (auto _ : state) {
        std::string out = doc.dump();
        benchmark::DoNotOptimize(out);
    }
    setBytes(state, text.size());
}

// Ours and RapidJSON in turns within one process, the order swapped every
// iteration: each pair of runs meets the same state of the shared machine,
// so the ratio moves far less than between processes. Reading is also split
// into building the value and freeing it.
using Clock = std::chrono::steady_clock;
double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs both once per iteration, the first of them alternating; returns
// the number of iterations.
template <typename Ours, typename Theirs>
std::int64_t inTurns(benchmark::State& state, Ours& ours, Theirs& theirs) {
    std::int64_t turn = 0;
    for (auto _ : state) {
        if (turn++ % 2 == 0) {
            ours();
            theirs();
        } else {
            theirs();
            ours();
        }
    }
    return turn;
}

void ReadInterleaved(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    KQJsonParser parser;
    double build = 0, release = 0, rapid = 0;
    auto readOurs = [&] {
        Clock::time_point start = Clock::now();
        murmelo::Result<Value> value = parser.objectWithString(text);
        build += millisecondsSince(start);
        if (!value) {
            state.SkipWithError(value.error().localizedDescription().c_str());
        }
        start = Clock::now();
        { Value freed = std::move(*value); }
        release += millisecondsSince(start);
    };
    auto readRapid = [&] {
        Clock::time_point start = Clock::now();
        {
            rapidjson::Document doc;
            doc.Parse(text.data(), text.size());
            benchmark::DoNotOptimize(doc);
        }
        rapid += millisecondsSince(start);
    };
    auto n = static_cast<double>(inTurns(state, readOurs, readRapid));
    state.counters["ours_build_ms"] = build / n;
    state.counters["ours_free_ms"] = release / n;
    state.counters["rapidjson_ms"] = rapid / n;
    state.counters["ratio"] = rapid / (build + release);
    state.SetLabel(kNames[state.range(0)]);
}

void WriteInterleaved(benchmark::State& state) {
    const std::string& text = document(static_cast<int>(state.range(0)));
    KQJsonParser parser;
    Value value = *parser.objectWithString(text);
    KQJsonWriter writer;
    rapidjson::Document doc;
    doc.Parse(text.data(), text.size());
    double ours = 0, rapid = 0;
    auto writeOurs = [&] {
        Clock::time_point start = Clock::now();
        murmelo::Result<std::string> out = writer.stringWithObject(value);
        benchmark::DoNotOptimize(out);
        ours += millisecondsSince(start);
    };
    auto writeRapid = [&] {
        Clock::time_point start = Clock::now();
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> out(buffer);
        doc.Accept(out);
        benchmark::DoNotOptimize(buffer.GetString());
        rapid += millisecondsSince(start);
    };
    auto n = static_cast<double>(inTurns(state, writeOurs, writeRapid));
    state.counters["ours_ms"] = ours / n;
    state.counters["rapidjson_ms"] = rapid / n;
    state.counters["ratio"] = rapid / ours;
    state.SetLabel(kNames[state.range(0)]);
}

BENCHMARK(ReadOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadRapidJSON)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadSimdjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadNlohmann)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteOurs)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteRapidJSON)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteSimdjson)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteNlohmann)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadInterleaved)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteInterleaved)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Keep freed memory in the process for every library alike. Otherwise
    // glibc hands large freed blocks back to the kernel and each iteration
    // pays for faulting them in again — on a virtual machine that cost swamps
    // the parsing and depends on which benchmark happened to run before.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

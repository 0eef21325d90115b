// Reading the content server's answer to a native post: which replies count
// as success and when the server's text is taken.
#include <gtest/gtest.h>

#include "app/posting/PostFormViewController.h"
#include "app/posting/PostReply.h"

using namespace murmelo;

namespace {

TEST(PostReply, CodeAndMessageAreReadWithTypeChecks) {
    struct Row {
        const char* name;
        std::optional<std::string> body;
        bool succeeded;
        std::optional<std::string> msg;
    };
    const Row rows[] = {
        {"number 200", R"({"code":200,"msg":"ok"})", true, "ok"},
        {"digit string", R"({"code":"200","msg":"ok"})", true, "ok"},
        {"leading zero", R"({"code":"0200","msg":"ok"})", true, "ok"},
        {"200 as a real", R"({"code":200.0,"msg":"ok"})", true, "ok"},
        {"201", R"({"code":201,"msg":"too long"})", false, "too long"},
        {"string 201", R"({"code":"201","msg":"no"})", false, "no"},
        {"digits then letters", R"({"code":"200abc","msg":"x"})", false, "x"},
        {"blank around digits", R"({"code":" 200","msg":"x"})", false, "x"},
        {"sign", R"({"code":"+200","msg":"x"})", false, "x"},
        {"huge digit string", R"({"code":"99999999999999999999999","msg":"x"})", false, "x"},
        {"19 nines", R"({"code":"9999999999999999999","msg":"x"})", false, "x"},
        {"200 after many zeros", R"({"code":"0000000000000000000000200","msg":"x"})", true, "x"},
        {"true", R"({"code":true,"msg":"x"})", false, "x"},
        {"null code", R"({"code":null,"msg":"x"})", false, "x"},
        {"code an object", R"({"code":{"v":200},"msg":"x"})", false, "x"},
        {"no code", R"({"msg":"x"})", false, "x"},
        {"message a number", R"({"code":400,"msg":17})", false, std::nullopt},
        {"message an array", R"({"code":200,"msg":["ok"]})", true, std::nullopt},
        {"empty message", R"({"code":400,"msg":""})", false, ""},
        {"top level array", R"([{"code":200,"msg":"ok"}])", false, std::nullopt},
        {"not JSON", "<html>Service Unavailable</html>", false, std::nullopt},
        {"empty body", "", false, std::nullopt},
        {"no reply", std::nullopt, false, std::nullopt},
    };
    for (const Row& row : rows) {
        PostReply reply = readPostReply(PostFormViewController::objectWithString(row.body));
        EXPECT_EQ(reply.succeeded, row.succeeded) << row.name;
        EXPECT_EQ(reply.msg, row.msg) << row.name;
    }
}

} // namespace

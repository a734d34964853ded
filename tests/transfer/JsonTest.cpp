#include "TransferFixture.hpp"

#include "transfer/ClipboardMessage.hpp"
#include "transfer/Json.hpp"

namespace tarvel::testing {
namespace {

std::string Nested(std::size_t depth, const std::string& inner = "")
{
    return std::string(depth, '[') + inner + std::string(depth, ']');
}

TEST(ParseJson, DepthIsBoundedAndNothingThrows)
{
    struct Case {
        const char* what;
        std::string text;
        bool ok;
        bool nullRoot;
    } cases[] = {
        {"object", "{\"a\":[1,{\"b\":\"c\"}]}", true, false},
        {"deepest taken", Nested(kMaxJsonDepth), true, false},
        {"one level too deep", Nested(kMaxJsonDepth + 1), false, true},
        {"hostile, unclosed", std::string(1001, '['), false, true},
        {"hostile objects", std::string(5000, '{'), false, true},
        {"deep after a good start", "{\"Artifacts\":" + std::string(1001, '['), false, true},
        {"brackets in a string", "[\"" + std::string(1001, '[') + "\"]", true, false},
        {"escaped quote before brackets", "[\"\\\"" + std::string(1001, '{') + "\"]", true, false},
        {"brackets in comments", "// " + std::string(1001, '[') + "\n/* " + std::string(1001, '{') + " */ [1]", true,
         false},
        // A line comment ends at a carriage return as at a line feed, as the parser has it.
        {"too deep after a comment ended by CR", "// c\r" + Nested(kMaxJsonDepth + 1), false, true},
        {"too deep after a comment ended by CR LF", "// c\r\n" + Nested(kMaxJsonDepth + 1), false, true},
        {"deepest taken after a comment ended by CR", "// c\r" + Nested(kMaxJsonDepth), true, false},
        {"brackets in a comment ended by CR", "// " + std::string(1001, '[') + "\r[1]", true, false},
        {"a comment's slash-star-slash does not end it", "/*/ " + std::string(1001, '[') + " */ [1]", true, false},
        {"not JSON", "nonsense", false, true},
        {"empty", "", false, true},
    };
    for (const auto& c : cases) {
        Json::Value root(42);
        bool ok = false;
        EXPECT_NO_THROW(ok = ParseJson(c.text, root)) << c.what;
        EXPECT_EQ(ok, c.ok) << c.what;
        EXPECT_EQ(root.isNull(), c.nullRoot) << c.what;
    }
}

TEST(ParseJson, ATextThatBreaksOffKeepsWhatWasRead)
{
    Json::Value root;
    EXPECT_FALSE(ParseJson("{\"a\":\"x\",\"b\":[1,2", root));
    ASSERT_TRUE(root.isObject());
    EXPECT_EQ(root["a"].asString(), "x");
}

TEST(ParseJson, MembersAreTypeTested)
{
    Json::Value root;
    ASSERT_TRUE(ParseJson("{\"s\":\"text\",\"n\":5,\"o\":{},\"a\":[\"x\"]}", root));
    EXPECT_EQ(JsonString(root, "s"), std::optional<std::string>("text"));
    for (const char* key : {"n", "o", "a", "missing"})
        EXPECT_EQ(JsonString(root, key), std::nullopt) << key;
    EXPECT_NE(JsonMember(root, "o"), nullptr);
    EXPECT_EQ(JsonMember(root, "missing"), nullptr);
    // Members of what is no object: nothing, not the parser's logic error.
    for (const Json::Value& notObject : {root["s"], root["n"], root["a"], Json::Value()}) {
        EXPECT_EQ(JsonMember(notObject, "s"), nullptr);
        EXPECT_EQ(JsonString(notObject, "s"), std::nullopt);
    }
}

using DeepMessage = TransferFixture;

TEST_F(DeepMessage, AHostileClipboardMessageIsAnInvalidToken)
{
    for (const std::string& json : {std::string(1001, '['), "{\"Artifacts\":" + Nested(1001)}) {
        ASSERT_TRUE(standin::win::SetClipboardBytes(std::string(kMessageStart) + Base64Encode(json) + kMessageEnd));
        std::string lastPayload;
        ASSERT_TRUE(ReadClipboardMessage(nullptr, lastPayload));
        CatalogueArtifacts artifacts;
        artifacts.fileTypes = {"kept"};
        std::string catalog = "stale";
        bool ok = true;
        EXPECT_NO_THROW(ok = ParseArtifactsMessage(Base64Decode(lastPayload), artifacts, catalog));
        EXPECT_FALSE(ok);
        EXPECT_EQ(artifacts.fileTypes, std::vector<std::string>{"kept"});
        EXPECT_EQ(catalog, "");
    }
}

}  // namespace
}  // namespace tarvel::testing

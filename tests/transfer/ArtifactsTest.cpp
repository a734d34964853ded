#include "TransferFixture.hpp"

namespace tarvel::testing {
namespace {

using ArtifactsMessage = TransferFixture;

TEST_F(ArtifactsMessage, Cases)
{
    const std::string u = "\"http://h/x\"";
    struct Case {
        std::string json;
        bool ok;
        std::vector<std::string> types;
        std::string catalog;
    } cases[] = {
        {"{\"Artifacts\":[]}", true, {}, ""},
        {"{\"CatalogName\":\"acme\",\"Artifacts\":[{\"FileType\":\"CadFile\",\"SourceUrl\":" + u + "}]}", true,
         {"CadFile"}, "acme"},
        {"{\"Artifacts\":[{\"FileType\":\"cadfile\",\"SourceUrl\":" + u +
             "},{\"FileType\":\"CadFile\",\"SourceUrl\":5},{\"FileType\":\"Other\",\"SourceUrl\":" + u +
             "},{\"SourceUrl\":" + u + "},{\"FileType\":\"SemaphoreFile\",\"SourceUrl\":" + u + "}]}",
         true, {"SemaphoreFile"}, ""},
        {"{\"Artifacts\":[{\"FileType\":\"CadFile\",\"SourceUrl\":" + u + "},\"text\",{\"FileType\":\"ProductDataSheet\",\"SourceUrl\":" + u + "}]}",
         false, {"CadFile"}, ""},
        {"{\"Artifacts\":[{\"FileType\":\"CadFile\",\"SourceUrl\":" + u + "},{\"FileType\":\"CadFile\",\"SourceUrl\":" + u + "}]}",
         true, {"CadFile", "CadFile"}, ""},
        // Cut off after the first artifact: the part read is used.
        {"{\"CatalogName\":\"c\",\"Artifacts\":[{\"FileType\":\"AttributeFile\",\"SourceUrl\":" + u + "},{\"File", true,
         {"AttributeFile"}, "c"},
        {"", false, {"kept"}, ""},
        {"[1,2]", false, {"kept"}, ""},
        {"{\"Artifacts\":{}}", false, {"kept"}, ""},
        {"{\"CatalogName\":7}", false, {"kept"}, ""},
        // Only the web: a message naming other schemes is refused.
        {"{\"Artifacts\":[{\"FileType\":\"CadFile\",\"SourceUrl\":\"file:///etc/passwd\"}]}", false, {}, ""},
        {"{\"Artifacts\":[{\"FileType\":\"CadFile\",\"SourceUrl\":\"HTTPS://h/x\"}]}", true, {"CadFile"}, ""},
        {"{\"CallbackUrl\":\"ftp://h/\",\"Artifacts\":[]}", false, {"kept"}, ""},
    };
    for (const auto& c : cases) {
        CatalogueArtifacts artifacts;
        artifacts.fileTypes = {"kept"};
        artifacts.sourceUrls = {"kept"};
        artifacts.localPaths = {""};
        std::string catalog = "stale";
        EXPECT_EQ(ParseArtifactsMessage(c.json, artifacts, catalog), c.ok) << c.json;
        EXPECT_EQ(artifacts.fileTypes, c.types) << c.json;
        EXPECT_EQ(artifacts.sourceUrls.size(), artifacts.fileTypes.size());
        EXPECT_EQ(artifacts.localPaths, std::vector<std::string>(c.types.size()));
        EXPECT_EQ(catalog, c.catalog) << c.json;
    }
}

TEST_F(ArtifactsMessage, TheCallbackIsRequestedOnceEvenWhenTheMessageFails)
{
    CatalogueServer server;
    server.AddCallback("/ack");
    CatalogueArtifacts artifacts;
    std::string catalog;
    const std::string callback = "\"CallbackUrl\":\"" + server.Url("/ack") + "\"";
    EXPECT_FALSE(ParseArtifactsMessage("{" + callback + "}", artifacts, catalog));
    EXPECT_EQ(server.CallCount("/ack"), 1);
    EXPECT_TRUE(ParseArtifactsMessage("{" + callback + ",\"Artifacts\":[]}", artifacts, catalog));
    EXPECT_EQ(server.CallCount("/ack"), 2);
    // A number is no URL; an unreachable callback is not noticed.
    EXPECT_TRUE(ParseArtifactsMessage("{\"CallbackUrl\":5,\"Artifacts\":[]}", artifacts, catalog));
    EXPECT_TRUE(ParseArtifactsMessage(
        "{\"CallbackUrl\":\"http://127.0.0.1:" + std::to_string(UnusedPort()) + "/\",\"Artifacts\":[]}", artifacts,
        catalog));
    EXPECT_EQ(server.CallCount("/ack"), 2);
}

TEST_F(ArtifactsMessage, AnArrayBeyondASixteenBitWalkIsRefused)
{
    std::string json = "{\"Artifacts\":[";
    for (std::size_t i = 0; i <= kMaxArtifacts; ++i)
        json += i == 0 ? "1" : ",1";
    json += "]}";
    CatalogueArtifacts artifacts;
    std::string catalog;
    EXPECT_FALSE(ParseArtifactsMessage(json, artifacts, catalog));
}

}  // namespace
}  // namespace tarvel::testing

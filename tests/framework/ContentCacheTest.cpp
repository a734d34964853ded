// Keys, content objects and the icon cache.
#include "ostrel/AnyKey.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/ApplicationContent.hpp"
#include "ostrel/dgx/Icons.hpp"

#include "HostFixture.hpp"
#include "Pictures.hpp"
#include "standin/Base.hpp"

#include <boost/filesystem/operations.hpp>

#include <cmath>
#include <fstream>
#include <limits>

namespace {

using ostrel::AnyKey;
using ostrel::ApplicationContentCache;
using ostrel::ac::dgx::ContentIcon;

TEST(AnyKeyTest, HashAndEqualityFollowTheHeldValue)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const AnyKey empty;
    const AnyKey size(glm::dvec2(48, 34));
    struct Case {
        const char* what;
        AnyKey a;
        AnyKey b;
        bool equal;
    };
    const std::vector<Case> cases = {
        {"two empty keys", AnyKey(), AnyKey(), true},
        {"equal sizes", AnyKey(glm::dvec2(48, 34)), AnyKey(glm::dvec2(48, 34)), true},
        {"a copy", size, AnyKey(size), true},
        {"another height", size, AnyKey(glm::dvec2(48, 35)), false},
        {"the axes swapped", size, AnyKey(glm::dvec2(34, 48)), false},
        {"a size and the empty key", size, empty, false},
        {"the empty key and a size", empty, size, false},
        {"another value type", AnyKey(48), AnyKey(48.0), false},
        {"a not-a-number component, against its own copy", AnyKey(glm::dvec2(nan, 34)),
         AnyKey(glm::dvec2(nan, 34)), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.a.Equals(c.b), c.equal);
        if (c.equal) {
            EXPECT_EQ(c.a.Hash(), c.b.Hash());
        }
    }
    EXPECT_EQ(empty.Hash(), 0u);
    EXPECT_NE(size.Hash(), AnyKey(glm::dvec2(48, 35)).Hash());
    // Copying clones: the copy lives on after the original.
    auto* original = new AnyKey(glm::dvec2(1, 2));
    AnyKey copy = *original;
    delete original;
    EXPECT_TRUE(copy.Equals(AnyKey(glm::dvec2(1, 2))));
}

TEST(AnyKeyTest, CombinationIsBoostsSixtyFourBitForm)
{
    // hash_combine of 1 into 0, worked out by hand from the multiplier, shift and addend.
    std::size_t seed = 0;
    ostrel::HashCombine(seed, 1);
    std::uint64_t k = 0xc6a4a7935bd1e995ULL;
    k ^= k >> 47;
    k *= 0xc6a4a7935bd1e995ULL;
    EXPECT_EQ(seed, static_cast<std::size_t>(k * 0xc6a4a7935bd1e995ULL + 0xe6546b64));
}

// The combination step of boost's 64-bit hash_combine, written out here.
std::size_t Mix(std::size_t seed, std::size_t value)
{
    const std::uint64_t m = 0xc6a4a7935bd1e995ULL;
    std::uint64_t k = value;
    k *= m;
    k ^= k >> 47;
    k *= m;
    std::uint64_t h = seed;
    h ^= k;
    h *= m;
    return static_cast<std::size_t>(h + 0xe6546b64);
}

// Every term of the key and path hashes, worked out step by step.
TEST(AnyKeyTest, KeyAndPathHashesCombineEveryTermInOrder)
{
    const std::size_t size =
        Mix(Mix(0, boost::hash<double>()(48.0)), boost::hash<double>()(34.0));
    const std::size_t sizeKey = Mix(Mix(0, typeid(glm::dvec2).hash_code()), size);
    EXPECT_EQ(AnyKey(glm::dvec2(48, 34)).Hash(), sizeKey);

    const auto pathHash = [](const std::string& path) {
        std::size_t seed = 0;
        for (char c : path)
            seed = Mix(seed, boost::hash<char>()(c));
        return seed;
    };
    const ostrel::ApplicationContentKeyHash hash;
    EXPECT_EQ(hash(ostrel::ApplicationContentKey{"Logo.png", AnyKey()}), Mix(Mix(0, pathHash("Logo.png")), 0));
    EXPECT_EQ(hash(ostrel::ApplicationContentKey{"a/b.jpg", AnyKey(glm::dvec2(48, 34))}),
              Mix(Mix(0, pathHash("a/b.jpg")), sizeKey));
}

TEST(ImageFormatTest, FileNamesGiveTheHostsEncodingCodes)
{
    const std::vector<std::pair<const char*, int>> cases = {
        {"Logo.PNG", 1}, {"logo.png", 1}, {"a.jpeg", 0}, {"a.JPG", 0}, {"a.jpg", 0},
        {"a.gif", 2},    {"png", 2},      {"a.png.txt", 2}, {"", 2},
    };
    for (const auto& [name, code] : cases)
        EXPECT_EQ(ostrel::ac::dgx::ImageFormatFromFileName(name), code) << name;
    EXPECT_TRUE(ostrel::EndsWith("menu.png", ".png"));
    EXPECT_FALSE(ostrel::EndsWith("png", ".png"));
}

class ContentCacheTest : public tarvel::testing::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        folder_ = (Temp().Path() / "Images").string();
        boost::filesystem::create_directories(folder_);
    }

    std::string File(const std::string& name) const { return folder_ + "/" + name; }

    std::string folder_;
};

TEST_F(ContentCacheTest, AFileIsReadOncePerKeyAndShared)
{
    tarvel::testing::WritePngFile(File("logo.png"), 200, 100);
    ApplicationContentCache cache(folder_);
    const AnyKey row(glm::dvec2(48, 34));
    const auto first = cache.Get("logo.png", row);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->GetSize(), boost::filesystem::file_size(File("logo.png")));
    const std::int64_t pointers = standin::base::LivePointers();
    // Gone from disk: an equal key is served from the cache all the same.
    boost::filesystem::rename(File("logo.png"), File("kept.png"));
    EXPECT_EQ(cache.Get("logo.png", AnyKey(glm::dvec2(48, 34))), first);
    EXPECT_EQ(standin::base::LivePointers(), pointers);
    EXPECT_EQ(cache.Size(), 1u);
    // Another size is another entry, read from the file again.
    boost::filesystem::rename(File("kept.png"), File("logo.png"));
    const auto unscaled = cache.Get("logo.png", AnyKey());
    ASSERT_TRUE(unscaled);
    EXPECT_NE(unscaled, first);
    EXPECT_EQ(unscaled->GetImage().GetWidth(), 200u);
    EXPECT_EQ(first->GetImage().GetWidth(), 48u);
    EXPECT_EQ(cache.Size(), 2u);
    EXPECT_EQ(cache.MakeFilePath(ostrel::ApplicationContentKey{"logo.png", AnyKey()}), File("logo.png"));
}

TEST_F(ContentCacheTest, AMissingFileGivesNothingEveryTime)
{
    ApplicationContentCache cache(folder_);
    for (int i = 0; i < 2; ++i) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(cache.Get("nowhere.png", AnyKey()));
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "NOT FOUND: " + File("nowhere.png") + "\n");
    }
    EXPECT_EQ(cache.Size(), 0u);
    // An empty file is as good as none.
    std::ofstream(File("empty.png")).close();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(cache.Get("empty.png", AnyKey()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "NOT FOUND: " + File("empty.png") + "\n");
}

TEST_F(ContentCacheTest, AKeyThatNeverEqualsItselfAddsAnEntryEachTime)
{
    tarvel::testing::WritePngFile(File("logo.png"), 10, 10);
    ApplicationContentCache cache(folder_);
    const AnyKey odd(glm::dvec2(std::numeric_limits<double>::quiet_NaN(), 34));
    EXPECT_TRUE(cache.Get("logo.png", odd));
    EXPECT_TRUE(cache.Get("logo.png", odd));
    EXPECT_EQ(cache.Size(), 2u);
}

TEST_F(ContentCacheTest, IconsAreOnlyEverShrunkKeepingTheirProportions)
{
    struct Case {
        int width;
        int height;
        bool sized;
        int expectedWidth;
        int expectedHeight;
    };
    const std::vector<Case> cases = {
        {200, 100, true, 48, 24}, {100, 200, true, 17, 34}, {300, 300, true, 34, 34},
        {20, 10, true, 20, 10},   {48, 34, true, 48, 34},   {300, 300, false, 300, 300},
        // At least one pixel each way, however flat or narrow.
        {1000, 1, true, 48, 1},   {1, 1000, true, 1, 34},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const std::string file = File("picture.png");
        tarvel::testing::WritePngFile(file, c.width, c.height, 0xFF336699);
        const AnyKey key = c.sized ? AnyKey(glm::dvec2(48, 34)) : AnyKey();
        const auto icon = ContentIcon::Create(file, key);
        EXPECT_EQ(icon->GetImage().GetWidth(), static_cast<std::uint32_t>(c.expectedWidth));
        EXPECT_EQ(icon->GetImage().GetHeight(), static_cast<std::uint32_t>(c.expectedHeight));
        EXPECT_EQ(icon->GetNativeImage().GetWidth(), static_cast<std::uint32_t>(c.expectedWidth));
        EXPECT_EQ(icon->GetIcon().GetPixels(), icon->GetNativeImage().GetPixels());
        // The colour survives the scaling.
        const auto picture = standin::dg::PictureOf(icon->GetNativeImage());
        EXPECT_EQ(picture.At(c.expectedWidth / 2, c.expectedHeight / 2), 0xFF336699u);
    }
}

TEST_F(ContentCacheTest, JpegFilesAndUndecodableFilesMakeIcons)
{
    {
        std::ofstream out(File("photo.JPG"), std::ios::binary);
        out << tarvel::testing::JpegBytes(60, 30);
    }
    const auto photo = ContentIcon::Create(File("photo.JPG"), AnyKey(glm::dvec2(48, 34)));
    EXPECT_EQ(photo->GetImage().GetWidth(), 48u);
    EXPECT_EQ(photo->GetImage().GetHeight(), 24u);
    // Bytes no decoder takes: an icon without a picture, and no failure.
    std::ofstream(File("notes.gif")) << "GIF89a";
    const auto odd = ContentIcon::Create(File("notes.gif"), AnyKey(glm::dvec2(48, 34)));
    EXPECT_EQ(odd->GetSize(), 6u);
    EXPECT_TRUE(odd->GetIcon().IsEmpty());
    EXPECT_EQ(odd->GetImage().GetWidth(), 0u);
    // A size key of another type is refused.
    EXPECT_THROW(ContentIcon::Create(File("notes.gif"), AnyKey(48)), std::bad_cast);
}

TEST_F(ContentCacheTest, AContentIconHasOneSharedAnchorForBothItsInterfaces)
{
    tarvel::testing::WritePngFile(File("logo.png"), 4, 4);
    const auto icon = ContentIcon::Create(File("logo.png"), AnyKey());
    std::shared_ptr<ostrel::ac::dgx::IIconOwner> owner = icon->ostrel::VirtualSharedFromThis<
        ostrel::ac::dgx::IIconOwner>::shared_from_this();
    std::shared_ptr<ostrel::ApplicationContentObject> content = icon->ostrel::VirtualSharedFromThis<
        ostrel::ApplicationContentObject>::shared_from_this();
    EXPECT_EQ(owner.get(), static_cast<ostrel::ac::dgx::IIconOwner*>(icon.get()));
    EXPECT_EQ(content.get(), static_cast<ostrel::ApplicationContentObject*>(icon.get()));
    EXPECT_EQ(icon.use_count(), 3);
}

TEST_F(ContentCacheTest, ResourceIconsComeFromTheAddOnsResources)
{
    const auto logo = ostrel::ac::dgx::ResourceIcon::Create(32510);
    EXPECT_FALSE(logo->GetIcon().IsEmpty());
    EXPECT_EQ(logo->GetIcon().GetResourceId(), 32510);
    EXPECT_TRUE(ostrel::ac::dgx::ResourceIcon::Create(31000)->GetIcon().IsEmpty());
}

}  // namespace

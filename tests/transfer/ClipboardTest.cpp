#include "TransferFixture.hpp"

#include "transfer/ClipboardMessage.hpp"

#include <thread>

namespace tarvel::testing {
namespace {

TEST(Base64, DecodeTable)
{
    struct Case {
        std::string text;
        std::string bytes;
    } cases[] = {
        {"QUJD", "ABC"},     {"QUI=", "AB"},          {"QUI", "AB"},       {"QQ==", "A"},
        {"QQ", "A"},         {"", ""},                {"QU!D", ""},        {"QUJD!", ""},
        {"QU JD\r\n", "ABC"}, {"Q===", ""},            {"====", ""},        {"=", ""},
        {"QQ==QUJD", ""},    {"QUJDQUJD", "ABCABC"},  {"AAEC", std::string("\0\1\2", 3)},
        {"//79", "\xFF\xFE\xFD"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        EXPECT_EQ(Base64Decode(text), c.bytes) << c.text;
        // The caller's text is left as read.
        EXPECT_EQ(text, c.text);
    }
}

TEST(Base64, EncodeTableAndRoundTrip)
{
    EXPECT_EQ(Base64Encode("ABC"), "QUJD");
    EXPECT_EQ(Base64Encode("AB"), "QUI=");
    EXPECT_EQ(Base64Encode("A"), "QQ==");
    EXPECT_EQ(Base64Encode(""), "");
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    for (std::size_t n = 0; n < 8; ++n)
        EXPECT_EQ(Base64Decode(Base64Encode(all.substr(n))), all.substr(n));
}

class ClipboardMessage : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(standin::win::ClearClipboard()); }
    void TearDown() override
    {
        EXPECT_FALSE(standin::win::ClipboardIsOpen());
        EXPECT_EQ(standin::win::ClipboardLocks(), 0);
    }
    HWND owner = reinterpret_cast<HWND>(0x100);
};

TEST_F(ClipboardMessage, MarkedTextsAreTakenAndForeignOnesLeft)
{
    struct Case {
        std::string text;
        bool taken;
        std::string payload;
    } cases[] = {
        {"-----START ARCHICAD-----QUJD-----END ARCHICAD-----trailing", true, "QUJD"},
        {"-----START ARCHICAD-----QUJD", true, "QUJD"},
        {" -----START ARCHICAD-----QUJD-----END ARCHICAD-----", false, ""},
        {"\n-----START ARCHICAD-----QUJD-----END ARCHICAD-----", false, ""},
        {"hello", false, ""},
        {"-----START ARCHICAD", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(standin::win::SetClipboardBytes(c.text));
        std::string last;
        EXPECT_EQ(ReadClipboardMessage(owner, last), c.taken) << c.text;
        EXPECT_EQ(last, c.payload);
        if (c.taken)
            EXPECT_FALSE(standin::win::ClipboardText().has_value()) << c.text;
        else
            EXPECT_EQ(standin::win::ClipboardText(), c.text);
    }
}

TEST_F(ClipboardMessage, ARepeatedPayloadIsNotTakenTwiceButStillCleared)
{
    // Needs "=" added on decoding: the stored payload must still compare as read.
    const std::string text = "-----START ARCHICAD-----QUI-----END ARCHICAD-----";
    std::string last;
    ASSERT_TRUE(standin::win::SetClipboardBytes(text));
    ASSERT_TRUE(ReadClipboardMessage(owner, last));
    EXPECT_EQ(Base64Decode(last), "AB");
    ASSERT_TRUE(standin::win::SetClipboardBytes(text));
    EXPECT_FALSE(ReadClipboardMessage(owner, last));
    EXPECT_FALSE(standin::win::ClipboardText().has_value());
    EXPECT_EQ(last, "QUI");

    // An empty first payload equals the empty last payload.
    std::string fresh;
    ASSERT_TRUE(standin::win::SetClipboardBytes("-----START ARCHICAD----------END ARCHICAD-----"));
    EXPECT_FALSE(ReadClipboardMessage(owner, fresh));
    EXPECT_FALSE(standin::win::ClipboardText().has_value());
}

TEST_F(ClipboardMessage, NoTextOrAClipboardHeldElsewhereIsNoMessage)
{
    std::string last;
    EXPECT_FALSE(ReadClipboardMessage(owner, last));
    ASSERT_TRUE(standin::win::SetClipboardBytes("-----START ARCHICAD-----QUJD"));
    ASSERT_TRUE(standin::win::HoldClipboard(true));
    EXPECT_FALSE(ReadClipboardMessage(owner, last));
    ClearClipboardMessage(owner);
    ASSERT_TRUE(standin::win::HoldClipboard(false));
    EXPECT_EQ(standin::win::ClipboardText(), "-----START ARCHICAD-----QUJD");
    EXPECT_TRUE(ReadClipboardMessage(owner, last));
}

TEST_F(ClipboardMessage, ShortOrUnterminatedTextIsNeverReadPastItsEnd)
{
    // The stand-in's blocks are exactly as long as their bytes: AddressSanitizer
    // would catch a read beyond them.
    std::string last;
    for (std::string text : {"", "-", "-----START", "-----START ARCHICAD-----", "-----START ARCHICAD-----QUJD"}) {
        ASSERT_TRUE(standin::win::SetClipboardBytes(text, false));
        const bool marked = text.size() >= 24;
        last.clear();
        EXPECT_EQ(ReadClipboardMessage(owner, last), text.size() > 24) << text;
        EXPECT_EQ(standin::win::ClipboardText().has_value(), !marked) << text;
    }
    EXPECT_EQ(last, "QUJD");
}

TEST_F(ClipboardMessage, ClearRemovesOnlyMarkedTexts)
{
    ASSERT_TRUE(standin::win::SetClipboardBytes("someone's text"));
    ClearClipboardMessage(owner);
    EXPECT_EQ(standin::win::ClipboardText(), "someone's text");
    ASSERT_TRUE(standin::win::SetClipboardBytes("-----START ARCHICAD-----QUJD-----END ARCHICAD-----"));
    ClearClipboardMessage(owner);
    EXPECT_FALSE(standin::win::ClipboardText().has_value());
    ClearClipboardMessage(owner);
}

TEST_F(ClipboardMessage, TwoReadersOnTwoThreadsTakeAMessageOnce)
{
    ASSERT_TRUE(standin::win::SetClipboardBytes("-----START ARCHICAD-----QUJD-----END ARCHICAD-----"));
    std::atomic<int> taken{0};
    auto reader = [&] {
        std::string last;
        for (int i = 0; i < 200; ++i)
            if (ReadClipboardMessage(owner, last))
                ++taken;
    };
    std::thread a(reader), b(reader);
    a.join();
    b.join();
    EXPECT_EQ(taken.load(), 1);
}

TEST(ClipboardStandIn, OneOpenerAtATime)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    bool otherOpened = true;
    std::thread([&] { otherOpened = OpenClipboard(nullptr) != FALSE; }).join();
    EXPECT_FALSE(otherOpened);
    EXPECT_FALSE(OpenClipboard(nullptr));
    EXPECT_FALSE(standin::win::SetClipboardBytes("x"));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 3);
    std::memcpy(GlobalLock(block), "hi", 3);
    GlobalUnlock(block);
    EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
    EXPECT_EQ(standin::win::ClipboardText(), "hi");
    EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);  // not open
    EXPECT_TRUE(standin::win::ClearClipboard());
    EXPECT_EQ(standin::win::LiveGlobalBlocks(), 0);
}

}  // namespace
}  // namespace tarvel::testing

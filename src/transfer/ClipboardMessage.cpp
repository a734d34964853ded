#include "transfer/ClipboardMessage.hpp"

#include <cstring>

namespace tarvel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The clipboard's text, opened and locked; the text ends at its NUL or at the end of
// the block, whichever comes first.
class OpenClipboardText {
public:
    explicit OpenClipboardText(HWND owner)
    {
        if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(owner))
            return;
        open_ = true;
        handle_ = GetClipboardData(CF_TEXT);
        if (handle_ == nullptr)
            return;
        text_ = static_cast<const char*>(GlobalLock(handle_));
        if (text_ != nullptr)
            length_ = strnlen(text_, GlobalSize(handle_));
    }
    ~OpenClipboardText()
    {
        Unlock();
        if (open_)
            CloseClipboard();
    }
    OpenClipboardText(const OpenClipboardText&) = delete;
    OpenClipboardText& operator=(const OpenClipboardText&) = delete;

    bool HasText() const { return text_ != nullptr; }
    bool IsMarked() const
    {
        const std::size_t n = std::strlen(kMessageStart);
        return text_ != nullptr && length_ >= n && std::memcmp(text_, kMessageStart, n) == 0;
    }
    std::string Payload() const
    {
        const std::string rest(text_ + std::strlen(kMessageStart), text_ + length_);
        return rest.substr(0, rest.find(kMessageEnd));
    }
    // Unlocks first: the clipboard's block goes away when it is emptied.
    void Empty()
    {
        Unlock();
        EmptyClipboard();
    }

private:
    void Unlock()
    {
        if (text_ != nullptr)
            GlobalUnlock(handle_);
        text_ = nullptr;
    }

    bool open_ = false;
    HANDLE handle_ = nullptr;
    const char* text_ = nullptr;
    std::size_t length_ = 0;
};

}  // namespace

bool ReadClipboardMessage(HWND owner, std::string& lastPayload)
{
    std::string payload;
    {
        OpenClipboardText clipboard(owner);
        if (!clipboard.IsMarked())
            return false;
        payload = clipboard.Payload();
        clipboard.Empty();
    }
    if (payload == lastPayload)
        return false;
    lastPayload = std::move(payload);
    return true;
}

void ClearClipboardMessage(HWND owner)
{
    OpenClipboardText clipboard(owner);
    if (clipboard.IsMarked())
        clipboard.Empty();
}

std::string Base64Decode(const std::string& text)
{
    std::string compact;
    compact.reserve(text.size());
    for (char c : text)
        if (!IsSpace(c))
            compact.push_back(c);
    while (compact.size() % 4 != 0)
        compact.push_back('=');
    std::size_t padding = 0;
    std::string bytes;
    bytes.reserve(compact.size() / 4 * 3);
    std::uint32_t bits = 0;
    int bitCount = 0;
    for (char c : compact) {
        int sextet = 0;
        if (c == '=') {
            ++padding;
        } else {
            // "=" only closes the text.
            if (padding > 0)
                return "";
            sextet = SextetOf(c);
            if (sextet < 0)
                return "";
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(sextet);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            bytes.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
        }
    }
    if (padding > bytes.size())
        return "";
    bytes.resize(bytes.size() - padding);
    return bytes;
}

std::string Base64Encode(const std::string& bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t group = (static_cast<unsigned char>(bytes[i]) << 16) |
                                    (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                    static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            text.push_back(kAlphabet[(group >> shift) & 0x3F]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2)
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        text.push_back(kAlphabet[(group >> 18) & 0x3F]);
        text.push_back(kAlphabet[(group >> 12) & 0x3F]);
        text.push_back(rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        text.push_back('=');
    }
    return text;
}

}  // namespace tarvel

#include "ostrel/importers/WellFormed.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ostrel::importers {
namespace {

constexpr std::size_t kNowhere = std::numeric_limits<std::size_t>::max();

// The first thing found wrong, with its offset in the text being scanned.
struct Fault {
    std::size_t offset = kNowhere;
    std::string what;

    bool Found() const { return offset != kNowhere; }
    void Take(std::size_t at, std::string text)
    {
        if (at < offset) {
            offset = at;
            what = std::move(text);
        }
    }
};

std::string CodePoint(char32_t c)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

bool IsXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

std::string NoXmlChar(char32_t c)
{
    return IsSurrogate(c) ? "a lone surrogate (" + CodePoint(c) + ")"
                          : "a character XML cannot carry (" + CodePoint(c) + ")";
}

// The bytes of the UTF-8 text that need a closer look: controls (tab, line feed and
// carriage return are plain), "&", and the bytes of sequences beyond ASCII.
enum ByteClass : unsigned char { kPlain, kControl, kAmpersand, kHigh };

constexpr std::array<unsigned char, 256> MakeClasses()
{
    std::array<unsigned char, 256> classes{};
    for (int c = 0; c < 0x20; ++c)
        classes[static_cast<std::size_t>(c)] = kControl;
    classes['\t'] = classes['\n'] = classes['\r'] = kPlain;
    classes['&'] = kAmpersand;
    for (int c = 0x80; c < 0x100; ++c)
        classes[static_cast<std::size_t>(c)] = kHigh;
    return classes;
}
constexpr std::array<unsigned char, 256> kClasses = MakeClasses();

// Whether 64 bytes are all plain, tested at once (most of a file is plain text).
bool AllPlain64(const unsigned char* p)
{
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi8(0x20), tab = _mm_set1_epi8('\t'), lf = _mm_set1_epi8('\n'),
                  cr = _mm_set1_epi8('\r'), amp = _mm_set1_epi8('&');
    const auto special = [&](const unsigned char* at) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        // Signed, the bytes from 0x80 on are below 0x20 too.
        const __m128i blanks =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, cr));
        return _mm_or_si128(_mm_andnot_si128(blanks, _mm_cmplt_epi8(v, space)), _mm_cmpeq_epi8(v, amp));
    };
    const __m128i any =
        _mm_or_si128(_mm_or_si128(special(p), special(p + 16)), _mm_or_si128(special(p + 32), special(p + 48)));
    return _mm_movemask_epi8(any) == 0;
#else
    unsigned char any = 0;
    for (int i = 0; i < 64; ++i)
        any |= kClasses[p[i]];
    return any == kPlain;
#endif
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// One UTF-8 sequence beginning with a byte of 0x80 or above: its length, or 0 when the
// bytes are no UTF-8 (then `c` is a surrogate where they encode one).
std::size_t DecodeUtf8(const unsigned char* p, const unsigned char* end, char32_t& c)
{
    const unsigned char b0 = p[0];
    const std::size_t left = static_cast<std::size_t>(end - p);
    c = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (left < 2 || !IsContinuation(p[1]))
            return 0;
        c = static_cast<char32_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F));
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (left < 3 || !IsContinuation(p[1]) || !IsContinuation(p[2]))
            return 0;
        c = static_cast<char32_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        if (c < 0x800 || IsSurrogate(c))
            return 0;  // overlong, or a surrogate (c tells which)
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (left < 4 || !IsContinuation(p[1]) || !IsContinuation(p[2]) || !IsContinuation(p[3]))
            return 0;
        c = static_cast<char32_t>(((b0 & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) |
                                  (p[3] & 0x3F));
        if (c < 0x10000 || c > 0x10FFFF) {
            c = 0;
            return 0;
        }
        return 4;
    }
    return 0;
}

// Checks the character at p, whose first byte is a control or beyond ASCII; gives the
// place after it, or null with the fault taken.
const unsigned char* CheckCharacter(const unsigned char* begin, const unsigned char* p, const unsigned char* end,
                                    Fault& fault)
{
    const std::size_t at = static_cast<std::size_t>(p - begin);
    if (*p < 0x80) {
        fault.Take(at, NoXmlChar(*p));
        return nullptr;
    }
    char32_t c = 0;
    const std::size_t length = DecodeUtf8(p, end, c);
    if (length == 0) {
        fault.Take(at, IsSurrogate(c) ? NoXmlChar(c) : "a byte sequence that is no UTF-8");
        return nullptr;
    }
    if (!IsXmlChar(c)) {
        fault.Take(at, NoXmlChar(c));
        return nullptr;
    }
    return p + length;
}

bool IsNameByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':' || c >= 0x80;
}

// Whether the reference at p ("&") is sound: a character reference to a character XML
// carries, or a reference to one of the five predefined entities; p then goes past it.
bool CheckReference(const unsigned char* begin, const unsigned char*& p, const unsigned char* end, Fault& fault)
{
    const unsigned char* q = p + 1;
    const std::size_t at = static_cast<std::size_t>(p - begin);
    if (q < end && *q == '#') {
        ++q;
        const bool hex = q < end && *q == 'x';
        q += hex ? 1 : 0;
        const unsigned char* digits = q;
        std::uint32_t value = 0;
        for (; q < end; ++q) {
            unsigned digit = 0;
            if (*q >= '0' && *q <= '9')
                digit = *q - '0';
            else if (hex && (*q | 0x20) >= 'a' && (*q | 0x20) <= 'f')
                digit = (*q | 0x20) - 'a' + 10;
            else
                break;
            value = value > 0x110000 ? value : value * (hex ? 16 : 10) + digit;
        }
        if (q == digits || q == end || *q != ';') {
            fault.Take(at, "a malformed character reference");
            return false;
        }
        ++q;
        if (!IsXmlChar(value)) {
            const std::string written(reinterpret_cast<const char*>(p), static_cast<std::size_t>(q - p));
            fault.Take(at, "a character reference to a character XML cannot carry (" +
                               (q - p <= 16 ? written : written.substr(0, 12) + "...") + ")");
            return false;
        }
        p = q;
        return true;
    }
    const unsigned char* name = q;
    while (q < end && q - name <= 64 && IsNameByte(*q))
        ++q;
    const std::string_view text(reinterpret_cast<const char*>(name), static_cast<std::size_t>(q - name));
    if (q == name || q == end || *q != ';') {
        fault.Take(at, "a \"&\" that begins no reference");
        return false;
    }
    if (text != "lt" && text != "gt" && text != "amp" && text != "apos" && text != "quot") {
        bool ascii = true;
        for (const char c : text)
            ascii &= static_cast<unsigned char>(c) < 0x80;
        fault.Take(at, "a reference to an entity other than the five predefined ones" +
                           (ascii ? " (&" + std::string(text) + ";)" : std::string()));
        return false;
    }
    p = q + 1;
    return true;
}

bool StartsWith(const unsigned char* p, const unsigned char* end, std::string_view prefix)
{
    return static_cast<std::size_t>(end - p) >= prefix.size() && std::memcmp(p, prefix.data(), prefix.size()) == 0;
}

// Checks the characters from p up to and including the terminator, or to the end;
// gives the place after the terminator, or null with the fault taken.
const unsigned char* SkipChecked(const unsigned char* begin, const unsigned char* p, const unsigned char* end,
                                 std::string_view terminator, Fault& fault)
{
    while (p < end) {
        if (kClasses[*p] == kControl || kClasses[*p] == kHigh) {
            p = CheckCharacter(begin, p, end, fault);
            if (p == nullptr)
                return nullptr;
            continue;
        }
        if (*p == static_cast<unsigned char>(terminator[0]) && StartsWith(p, end, terminator))
            return p + terminator.size();
        ++p;
    }
    return end;
}

// A start or end tag from after its "<" up to and including its ">", its characters
// and references checked: a "<!--" or "<?" in a quoted attribute value (where the XML
// library takes "<" as text) opens no comment there. Gives the place after the tag, or
// null with the fault taken.
const unsigned char* SkipTag(const unsigned char* begin, const unsigned char* p, const unsigned char* end,
                             Fault& fault)
{
    unsigned char quote = 0;
    while (p < end) {
        const unsigned char c = *p;
        if (kClasses[c] == kControl || kClasses[c] == kHigh) {
            p = CheckCharacter(begin, p, end, fault);
            if (p == nullptr)
                return nullptr;
            continue;
        }
        if (c == '&') {
            if (!CheckReference(begin, p, end, fault))
                return nullptr;
            continue;
        }
        if (quote != 0)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return p + 1;
        ++p;
    }
    return end;
}

// The document type declaration up to its closing ">" (brackets, quotes and comments
// of the internal subset taken into account); its references are not the document's.
const unsigned char* SkipDoctype(const unsigned char* begin, const unsigned char* p, const unsigned char* end,
                                 Fault& fault)
{
    int depth = 0;
    unsigned char quote = 0;
    while (p < end) {
        const unsigned char c = *p;
        if (kClasses[c] == kControl || kClasses[c] == kHigh) {
            p = CheckCharacter(begin, p, end, fault);
            if (p == nullptr)
                return nullptr;
            continue;
        }
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            --depth;
        } else if (c == '<' && StartsWith(p, end, "<!--")) {
            p = SkipChecked(begin, p + 4, end, "-->", fault);
            if (p == nullptr)
                return nullptr;
            continue;
        } else if (c == '>' && depth <= 0) {
            return p + 1;
        }
        ++p;
    }
    return end;
}

// The characters and references of UTF-8 text. The quick pass knows no markup: it is
// exact while every "&" begins a sound reference, which is all a file of the usual kind
// holds. At the first other "&" (which may stand in a comment, a CDATA section or a
// processing instruction, where it is text) the careful pass starts over, skipping those.
void ScanUtf8(const unsigned char* begin, const unsigned char* end, Fault& fault)
{
    const unsigned char* p = begin;
    bool careful = false;
    while (p < end) {
        if (!careful) {
            while (end - p >= 64 && AllPlain64(p))
                p += 64;
            while (p < end && kClasses[*p] == kPlain)
                ++p;
            if (p == end)
                return;
        }
        const unsigned char c = *p;
        switch (kClasses[c]) {
        case kControl:
        case kHigh:
            p = CheckCharacter(begin, p, end, fault);
            if (p == nullptr)
                return;
            break;
        case kAmpersand: {
            Fault here;
            if (!CheckReference(begin, p, end, here)) {
                if (careful) {
                    fault.Take(here.offset, here.what);
                    return;
                }
                careful = true;
                p = begin;
            }
            break;
        }
        default:
            if (careful && c == '<') {
                if (StartsWith(p, end, "<!--"))
                    p = SkipChecked(begin, p + 4, end, "-->", fault);
                else if (StartsWith(p, end, "<![CDATA["))
                    p = SkipChecked(begin, p + 9, end, "]]>", fault);
                else if (StartsWith(p, end, "<?"))
                    p = SkipChecked(begin, p + 2, end, "?>", fault);
                else if (StartsWith(p, end, "<!DOCTYPE"))
                    p = SkipDoctype(begin, p + 9, end, fault);
                else
                    p = SkipTag(begin, p + 1, end, fault);
                if (p == nullptr)
                    return;
            } else {
                ++p;
            }
            break;
        }
    }
}

// The file's bytes, and the UTF-8 text the parser reads (the same buffer for UTF-8).
class Source {
public:
    Source(const unsigned char* bytes, std::size_t size, pugi::xml_encoding encoding)
        : bytes_(bytes), size_(size), encoding_(encoding)
    {
    }

    pugi::xml_encoding Encoding() const { return encoding_; }
    bool IsUtf8() const { return encoding_ == pugi::encoding_utf8; }

    // Writes the UTF-8 of the source into out (room for twice the source and 4 bytes
    // more) and gives its size. A byte sequence that is no character is taken as the
    // fault and written as U+FFFD, so that the rest is still parsed.
    std::size_t Convert(unsigned char* out, Fault& fault) const
    {
        unsigned char* o = out;
        std::size_t at = Bom();
        while (at < size_) {
            char32_t c = 0;
            bool sound = true;
            const std::size_t length = Next(at, c, sound);
            if (!sound) {
                fault.Take(at, IsSurrogate(c) ? NoXmlChar(c) : std::string("a byte sequence that is no ") + Name());
                c = 0xFFFD;
            }
            if (c < 0x80) {
                *o++ = static_cast<unsigned char>(c);
            } else if (c < 0x800) {
                *o++ = static_cast<unsigned char>(0xC0 | (c >> 6));
                *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
            } else if (c < 0x10000) {
                *o++ = static_cast<unsigned char>(0xE0 | (c >> 12));
                *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
                *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
            } else {
                *o++ = static_cast<unsigned char>(0xF0 | (c >> 18));
                *o++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
                *o++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
                *o++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
            }
            at += length;
        }
        return static_cast<std::size_t>(o - out);
    }

    // The offset in the file of the place at utf8Offset in the converted text.
    std::size_t FileOffset(std::size_t utf8Offset) const
    {
        if (IsUtf8())
            return utf8Offset;
        std::size_t at = Bom();
        std::size_t converted = 0;
        while (at < size_ && converted < utf8Offset) {
            char32_t c = 0;
            bool sound = true;
            const std::size_t length = Next(at, c, sound);
            c = sound ? c : 0xFFFD;
            converted += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
            at += length;
        }
        return at;
    }

private:
    std::size_t Bom() const
    {
        const auto starts = [&](std::initializer_list<unsigned char> bom) {
            return size_ >= bom.size() && std::equal(bom.begin(), bom.end(), bytes_);
        };
        switch (encoding_) {
        case pugi::encoding_utf16_le:
            return starts({0xFF, 0xFE}) ? 2 : 0;
        case pugi::encoding_utf16_be:
            return starts({0xFE, 0xFF}) ? 2 : 0;
        case pugi::encoding_utf32_le:
            return starts({0xFF, 0xFE, 0, 0}) ? 4 : 0;
        case pugi::encoding_utf32_be:
            return starts({0, 0, 0xFE, 0xFF}) ? 4 : 0;
        default:
            return 0;
        }
    }

    const char* Name() const
    {
        switch (encoding_) {
        case pugi::encoding_utf16_le:
        case pugi::encoding_utf16_be:
            return "UTF-16";
        case pugi::encoding_utf32_le:
        case pugi::encoding_utf32_be:
            return "UTF-32";
        default:
            return "ISO-8859-1";
        }
    }

    // One character of the source at `at` and its length in bytes; sound is false
    // when the bytes are none (then c is a surrogate where it is a lone one).
    std::size_t Next(std::size_t at, char32_t& c, bool& sound) const
    {
        const unsigned char* p = bytes_ + at;
        const std::size_t left = size_ - at;
        sound = true;
        switch (encoding_) {
        case pugi::encoding_utf16_le:
        case pugi::encoding_utf16_be: {
            const bool le = encoding_ == pugi::encoding_utf16_le;
            const auto unit = [&](const unsigned char* u) {
                return static_cast<char32_t>(le ? u[0] | (u[1] << 8) : (u[0] << 8) | u[1]);
            };
            if (left < 2) {
                sound = false;
                return left;
            }
            c = unit(p);
            if (c >= 0xD800 && c <= 0xDBFF && left >= 4) {
                const char32_t trail = unit(p + 2);
                if (trail >= 0xDC00 && trail <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (trail - 0xDC00);
                    return 4;
                }
            }
            sound = !IsSurrogate(c);
            return 2;
        }
        case pugi::encoding_utf32_le:
        case pugi::encoding_utf32_be: {
            if (left < 4) {
                sound = false;
                return left;
            }
            const std::uint32_t value =
                encoding_ == pugi::encoding_utf32_le
                    ? p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24)
                    : (std::uint32_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
            c = value <= 0x10FFFF ? static_cast<char32_t>(value) : 0;
            sound = value <= 0x10FFFF && !IsSurrogate(c);
            return 4;
        }
        default:  // ISO-8859-1: every byte is its character
            c = *p;
            return 1;
        }
    }

    const unsigned char* bytes_;
    std::size_t size_;
    pugi::xml_encoding encoding_;
};

// The parser's buffer, handed to the document that frees it.
struct ParserBuffer {
    explicit ParserBuffer(std::size_t size)
        : bytes(static_cast<unsigned char*>(pugi::get_memory_allocation_function()(size == 0 ? 1 : size)))
    {
        if (bytes == nullptr)
            throw std::bad_alloc();
    }
    ~ParserBuffer()
    {
        if (bytes != nullptr)
            pugi::get_memory_deallocation_function()(bytes);
    }
    ParserBuffer(const ParserBuffer&) = delete;
    ParserBuffer& operator=(const ParserBuffer&) = delete;
    unsigned char* Release() { return std::exchange(bytes, nullptr); }

    unsigned char* bytes;
};

// Elements and text beside the root element, which the parser keeps as it finds them.
void CheckTopLevel(const pugi::xml_document& document, const Source& source, Fault& fault)
{
    bool root = false;
    for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling()) {
        const std::ptrdiff_t at = node.offset_debug();
        switch (node.type()) {
        case pugi::node_element:
            if (root) {
                fault.Take(source.FileOffset(static_cast<std::size_t>(at > 0 ? at - 1 : 0)), "a second root element");
                return;
            }
            root = true;
            break;
        case pugi::node_pcdata:
        case pugi::node_cdata:
            fault.Take(source.FileOffset(static_cast<std::size_t>(at > 0 ? at : 0)),
                       root ? "text after the root element" : "text before the root element");
            return;
        default:
            break;
        }
    }
}

// Reads and checks the bytes in buffer (of that size), which the document takes over.
std::string LoadBuffer(pugi::xml_document& document, ParserBuffer& buffer, std::size_t size)
{
    constexpr unsigned int kOptions = pugi::parse_default | pugi::parse_fragment;  // keeps text beside the root
    const Source source(buffer.bytes, size, DetectXmlEncoding(std::string_view(reinterpret_cast<char*>(buffer.bytes),
                                                                               size)));
    Fault fault;
    std::unique_ptr<ParserBuffer> converted;
    unsigned char* text = buffer.bytes;
    std::size_t textSize = size;
    if (!source.IsUtf8()) {
        converted = std::make_unique<ParserBuffer>(size * 2 + 4);
        textSize = source.Convert(converted->bytes, fault);
        text = converted->bytes;
    }
    Fault scanned;
    ScanUtf8(text, text + textSize, scanned);
    if (scanned.Found())
        fault.Take(source.FileOffset(scanned.offset), scanned.what);

    ParserBuffer& parsed = converted ? *converted : buffer;
    const pugi::xml_parse_result result =
        document.load_buffer_inplace_own(parsed.Release(), textSize, kOptions, pugi::encoding_utf8);
    if (converted)
        converted.reset();
    // A character the parser stumbled on is told as itself, not as what the parser made of it.
    if (!fault.Found() && !result)
        fault.Take(source.FileOffset(static_cast<std::size_t>(result.offset)), result.description());
    else if (!fault.Found())
        CheckTopLevel(document, source, fault);
    return fault.Found() ? fault.what + " at offset " + std::to_string(fault.offset) : std::string();
}

bool IsXmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsEncodingNameByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':' || c >= 0x80;
}

// The value of the encoding pseudo-attribute of an "<?xml " declaration at the start.
bool DeclaredEncoding(const unsigned char* data, std::size_t size, std::string_view& encoding)
{
    if (size < 6 || std::memcmp(data, "<?xml", 5) != 0 || !IsXmlSpace(data[5]))
        return false;
    for (std::size_t i = 6; i + 1 < size; ++i) {
        if (data[i] == '?')
            return false;
        if (data[i] != 'e' || data[i + 1] != 'n')
            continue;
        std::size_t at = i;
        if (size - at < 8 || std::memcmp(data + at, "encoding", 8) != 0)
            return false;
        at += 8;
        while (at < size && IsXmlSpace(data[at]))
            ++at;
        if (at >= size || data[at] != '=')
            return false;
        ++at;
        while (at < size && IsXmlSpace(data[at]))
            ++at;
        const unsigned char quote = at < size && data[at] == '"' ? '"' : '\'';
        if (at >= size || data[at] != quote)
            return false;
        const std::size_t start = ++at;
        while (at < size && IsEncodingNameByte(data[at]))
            ++at;
        if (at >= size || data[at] != quote)
            return false;
        encoding = std::string_view(reinterpret_cast<const char*>(data + start), at - start);
        return true;
    }
    return false;
}

bool EqualIgnoringCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c >= 'A' && c <= 'Z' ? c | 0x20 : c) != static_cast<unsigned char>(lower[i]))
            return false;
    }
    return true;
}

}  // namespace

pugi::xml_encoding DetectXmlEncoding(std::string_view bytes)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t size = bytes.size();
    if (size < 4)
        return pugi::encoding_utf8;
    const unsigned char d0 = data[0], d1 = data[1], d2 = data[2], d3 = data[3];
    if (d0 == 0 && d1 == 0 && d2 == 0xFE && d3 == 0xFF)
        return pugi::encoding_utf32_be;
    if (d0 == 0xFF && d1 == 0xFE && d2 == 0 && d3 == 0)
        return pugi::encoding_utf32_le;
    if (d0 == 0xFE && d1 == 0xFF)
        return pugi::encoding_utf16_be;
    if (d0 == 0xFF && d1 == 0xFE)
        return pugi::encoding_utf16_le;
    if (d0 == 0xEF && d1 == 0xBB && d2 == 0xBF)
        return pugi::encoding_utf8;
    if (d0 == 0 && d1 == 0 && d2 == 0 && d3 == '<')
        return pugi::encoding_utf32_be;
    if (d0 == '<' && d1 == 0 && d2 == 0 && d3 == 0)
        return pugi::encoding_utf32_le;
    if (d0 == 0 && d1 == '<')
        return pugi::encoding_utf16_be;
    if (d0 == '<' && d1 == 0)
        return pugi::encoding_utf16_le;
    std::string_view encoding;
    if (DeclaredEncoding(data, size, encoding) &&
        (EqualIgnoringCase(encoding, "iso-8859-1") || EqualIgnoringCase(encoding, "latin1")))
        return pugi::encoding_latin1;
    return pugi::encoding_utf8;
}

std::string LoadWellFormed(pugi::xml_document& document, std::string_view bytes)
{
    ParserBuffer buffer(bytes.size());
    if (!bytes.empty())
        std::memcpy(buffer.bytes, bytes.data(), bytes.size());
    return LoadBuffer(document, buffer, bytes.size());
}

std::string LoadWellFormed(pugi::xml_document& document, std::istream& stream)
{
    // The whole file in one buffer, which the parser then reads in place.
    const std::istream::pos_type start = stream.tellg();
    std::size_t size = 0;
    bool sized = false;
    if (start != std::istream::pos_type(-1) && stream.seekg(0, std::ios::end)) {
        const std::istream::pos_type end = stream.tellg();
        stream.seekg(start);
        if (end != std::istream::pos_type(-1) && end >= start && stream) {
            size = static_cast<std::size_t>(end - start);
            sized = true;
        }
    }
    if (!sized) {
        stream.clear();
        std::string bytes;
        char chunk[65536];
        while (stream.read(chunk, sizeof chunk) || stream.gcount() > 0)
            bytes.append(chunk, static_cast<std::size_t>(stream.gcount()));
        if (stream.bad()) {
            document.reset();
            return "the file could not be read at offset " + std::to_string(bytes.size());
        }
        return LoadWellFormed(document, bytes);
    }
    ParserBuffer buffer(size);
    stream.read(reinterpret_cast<char*>(buffer.bytes), static_cast<std::streamsize>(size));
    const auto got = static_cast<std::size_t>(stream.gcount());
    if (got != size) {
        document.reset();
        return "the file could not be read at offset " + std::to_string(got);
    }
    return LoadBuffer(document, buffer, size);
}

}  // namespace ostrel::importers

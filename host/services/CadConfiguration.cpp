// The configuration rows of a user's CAD data, read and changed in the file's own
// bytes: what the catalogue serves is the user's file, with only the configured
// values written anew, so that the add-on meets the user's own encoding, BOM,
// declaration and everything else the file holds.
#include "CatalogueContent.hpp"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

namespace standin::services {
namespace {

enum class Encoding {
    Utf8,
    Utf16LE,
    Utf16BE,
    Latin1,
    // Declared, but none of the above: ASCII bytes are themselves, others are read as
    // Latin-1 and never written.
    OtherEightBit,
};

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The declared encoding of an 8-bit file, empty when it declares none.
std::string DeclaredEncoding(const std::string& bytes, std::size_t from)
{
    if (bytes.compare(from, 5, "<?xml") != 0)
        return {};
    const std::size_t end = bytes.find("?>", from);
    const std::string declaration = bytes.substr(from, end == std::string::npos ? std::string::npos : end - from);
    const std::size_t at = declaration.find("encoding");
    if (at == std::string::npos)
        return {};
    const std::size_t quote = declaration.find_first_of("\"'", at);
    if (quote == std::string::npos)
        return {};
    const std::size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string::npos)
        return {};
    return Lower(declaration.substr(quote + 1, close - quote - 1));
}

// The file's encoding and where its text begins (after a BOM).
std::optional<std::pair<Encoding, std::size_t>> Detect(const std::string& bytes)
{
    const auto starts = [&bytes](const char* prefix, std::size_t size) { return bytes.compare(0, size, prefix, size) == 0; };
    if (starts("\x00\x00\xFE\xFF", 4) || starts("\xFF\xFE\x00\x00", 4))
        return std::nullopt;  // UTF-32: left as it is
    if (starts("\xEF\xBB\xBF", 3))
        return std::pair{Encoding::Utf8, std::size_t{3}};
    if (starts("\xFF\xFE", 2))
        return std::pair{Encoding::Utf16LE, std::size_t{2}};
    if (starts("\xFE\xFF", 2))
        return std::pair{Encoding::Utf16BE, std::size_t{2}};
    if (starts("<\x00", 2))
        return std::pair{Encoding::Utf16LE, std::size_t{0}};
    if (starts("\x00<", 2))
        return std::pair{Encoding::Utf16BE, std::size_t{0}};
    const std::string declared = DeclaredEncoding(bytes, 0);
    if (declared.empty() || declared == "utf-8" || declared == "utf8")
        return std::pair{Encoding::Utf8, std::size_t{0}};
    if (declared == "iso-8859-1" || declared == "iso8859-1" || declared == "latin1" || declared == "latin-1" ||
        declared == "l1" || declared == "iso_8859-1")
        return std::pair{Encoding::Latin1, std::size_t{0}};
    return std::pair{Encoding::OtherEightBit, std::size_t{0}};
}

// Reads characters of the file one at a time, by byte offset.
class Reader {
public:
    Reader(const std::string& bytes, Encoding encoding, std::size_t from)
        : bytes_(bytes), encoding_(encoding), pos_(from)
    {
    }

    bool AtEnd() const { return pos_ >= bytes_.size(); }
    std::size_t Pos() const { return pos_; }

    // The character at the offset and the offset after it; U+FFFD for what cannot be
    // decoded (one byte, or one unit, is taken).
    std::pair<char32_t, std::size_t> At(std::size_t at) const
    {
        const std::size_t size = bytes_.size();
        const auto byte = [this](std::size_t i) { return static_cast<unsigned char>(bytes_[i]); };
        switch (encoding_) {
        case Encoding::Latin1:
        case Encoding::OtherEightBit:
            return {byte(at), at + 1};
        case Encoding::Utf16LE:
        case Encoding::Utf16BE: {
            const auto unit = [&](std::size_t i) -> char32_t {
                return encoding_ == Encoding::Utf16LE ? byte(i) | (byte(i + 1) << 8) : (byte(i) << 8) | byte(i + 1);
            };
            if (at + 2 > size)
                return {0xFFFD, size};
            const char32_t first = unit(at);
            if (first >= 0xD800 && first <= 0xDBFF && at + 4 <= size) {
                const char32_t second = unit(at + 2);
                if (second >= 0xDC00 && second <= 0xDFFF)
                    return {0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00), at + 4};
            }
            return {first, at + 2};
        }
        case Encoding::Utf8:
            break;
        }
        const unsigned char lead = byte(at);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || at + length > size)
            return {0xFFFD, at + 1};
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(at + k) & 0xC0) != 0x80)
                return {0xFFFD, at + 1};
            cp = (cp << 6) | (byte(at + k) & 0x3F);
        }
        return {cp, at + length};
    }

    char32_t Peek() const { return AtEnd() ? 0 : At(pos_).first; }
    void Advance()
    {
        if (!AtEnd())
            pos_ = At(pos_).second;
    }
    // Whether the text at the position begins with the ASCII text.
    bool Looking(const char* ascii) const
    {
        std::size_t at = pos_;
        for (; *ascii != '\0'; ++ascii) {
            if (at >= bytes_.size())
                return false;
            const auto [cp, next] = At(at);
            if (cp != static_cast<unsigned char>(*ascii))
                return false;
            at = next;
        }
        return true;
    }
    // Moves past the next occurrence of the ASCII text; false at the end.
    bool SkipPast(const char* ascii)
    {
        while (!AtEnd()) {
            if (Looking(ascii)) {
                for (const char* c = ascii; *c != '\0'; ++c)
                    Advance();
                return true;
            }
            Advance();
        }
        return false;
    }

private:
    const std::string& bytes_;
    Encoding encoding_;
    std::size_t pos_;
};

bool IsSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The characters of a UTF-8 text (what cannot be decoded is U+FFFD).
std::u32string Characters(const std::string& utf8)
{
    std::u32string out;
    const Reader reader(utf8, Encoding::Utf8, 0);
    for (std::size_t at = 0; at < utf8.size();) {
        const auto [cp, next] = reader.At(at);
        out.push_back(cp);
        at = next;
    }
    return out;
}

// An attribute of a start tag: its name and where its value's text lies.
struct Attribute {
    std::string name;
    std::size_t begin = 0;
    std::size_t end = 0;
};

// A configPos element's name and value attributes, as offsets into the file.
struct ConfigPos {
    std::optional<Attribute> name;
    std::optional<Attribute> value;
};

// The configPos elements under /geom/tvConfiguration/configParams, in document order;
// nothing when the file is not XML as far as this reading goes.
std::optional<std::vector<ConfigPos>> FindConfigPositions(const std::string& bytes, Encoding encoding, std::size_t from)
{
    Reader reader(bytes, encoding, from);
    std::vector<std::string> open;
    std::vector<ConfigPos> found;
    const auto readName = [&reader] {
        std::string name;
        while (!reader.AtEnd()) {
            const char32_t c = reader.Peek();
            if (IsSpace(c) || c == '/' || c == '>' || c == '=')
                break;
            AppendUtf8(name, c);
            reader.Advance();
        }
        return name;
    };
    const auto skipSpace = [&reader] {
        while (!reader.AtEnd() && IsSpace(reader.Peek()))
            reader.Advance();
    };
    while (!reader.AtEnd()) {
        if (reader.Peek() != '<') {
            reader.Advance();
            continue;
        }
        if (reader.Looking("<!--")) {
            if (!reader.SkipPast("-->"))
                return std::nullopt;
        } else if (reader.Looking("<![CDATA[")) {
            if (!reader.SkipPast("]]>"))
                return std::nullopt;
        } else if (reader.Looking("<?")) {
            if (!reader.SkipPast("?>"))
                return std::nullopt;
        } else if (reader.Looking("<!")) {
            // A document type declaration, with its internal subset and quoted texts.
            int depth = 0;
            char32_t quote = 0;
            reader.Advance();
            for (;;) {
                if (reader.AtEnd())
                    return std::nullopt;
                const char32_t c = reader.Peek();
                reader.Advance();
                if (quote != 0) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    --depth;
                } else if (c == '>' && depth <= 0) {
                    break;
                }
            }
        } else if (reader.Looking("</")) {
            reader.Advance();
            reader.Advance();
            const std::string name = readName();
            if (open.empty() || open.back() != name)
                return std::nullopt;
            open.pop_back();
            if (!reader.SkipPast(">"))
                return std::nullopt;
        } else {
            reader.Advance();
            const std::string name = readName();
            if (name.empty())
                return std::nullopt;
            std::vector<Attribute> attributes;
            bool empty = false;
            for (;;) {
                skipSpace();
                if (reader.AtEnd())
                    return std::nullopt;
                if (reader.Looking("/>")) {
                    reader.Advance();
                    reader.Advance();
                    empty = true;
                    break;
                }
                if (reader.Peek() == '>') {
                    reader.Advance();
                    break;
                }
                Attribute attribute;
                attribute.name = readName();
                skipSpace();
                if (attribute.name.empty() || reader.Peek() != '=')
                    return std::nullopt;
                reader.Advance();
                skipSpace();
                const char32_t quote = reader.Peek();
                if (quote != '"' && quote != '\'')
                    return std::nullopt;
                reader.Advance();
                attribute.begin = reader.Pos();
                while (!reader.AtEnd() && reader.Peek() != quote)
                    reader.Advance();
                if (reader.AtEnd())
                    return std::nullopt;
                attribute.end = reader.Pos();
                reader.Advance();
                attributes.push_back(std::move(attribute));
            }
            if (name == "configPos" && open.size() == 3 && open[0] == "geom" && open[1] == "tvConfiguration" &&
                open[2] == "configParams") {
                ConfigPos position;
                // The first of a repeated attribute counts, as the reader takes it.
                for (const Attribute& attribute : attributes) {
                    if (attribute.name == "name" && !position.name)
                        position.name = attribute;
                    else if (attribute.name == "value" && !position.value)
                        position.value = attribute;
                }
                found.push_back(std::move(position));
            }
            if (!empty)
                open.push_back(name);
        }
    }
    if (!open.empty())
        return std::nullopt;
    return found;
}

// An attribute's value as XML reads it (references replaced, white space as blanks),
// in UTF-8. An entity the file's own document type may declare stays as written.
std::string AttributeValue(const std::string& bytes, Encoding encoding, const Attribute& attribute)
{
    std::u32string text;
    const Reader reader(bytes, encoding, attribute.begin);
    for (std::size_t at = attribute.begin; at < attribute.end;) {
        const auto [cp, next] = reader.At(at);
        text.push_back(cp);
        at = next;
    }
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (IsSpace(c)) {
            out.push_back(' ');
            continue;
        }
        if (c != '&') {
            AppendUtf8(out, c);
            continue;
        }
        const std::size_t semicolon = text.find(U';', i);
        if (semicolon == std::u32string::npos) {
            AppendUtf8(out, c);
            continue;
        }
        const std::u32string name = text.substr(i + 1, semicolon - i - 1);
        std::optional<char32_t> meant;
        if (name == U"lt")
            meant = '<';
        else if (name == U"gt")
            meant = '>';
        else if (name == U"amp")
            meant = '&';
        else if (name == U"quot")
            meant = '"';
        else if (name == U"apos")
            meant = '\'';
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x';
            char32_t number = 0;
            bool digits = name.size() > (hex ? 2u : 1u);
            for (std::size_t k = hex ? 2 : 1; k < name.size() && digits && number <= 0x10FFFF; ++k) {
                const char32_t d = name[k];
                if (d >= '0' && d <= '9')
                    number = number * (hex ? 16 : 10) + (d - '0');
                else if (hex && ((d >= 'a' && d <= 'f') || (d >= 'A' && d <= 'F')))
                    number = number * 16 + ((d | 0x20) - 'a' + 10);
                else
                    digits = false;
            }
            if (digits && number <= 0x10FFFF)
                meant = number;
        }
        if (!meant) {
            AppendUtf8(out, c);
            continue;
        }
        AppendUtf8(out, *meant);
        i = semicolon;
    }
    return out;
}

// A value written for an attribute of the file, in the file's encoding: the XML
// specials and white space as references, and characters the encoding cannot carry
// as character references.
std::string EncodeValue(const std::string& utf8, Encoding encoding)
{
    std::string out;
    const auto put = [&out, encoding](char32_t cp) {
        switch (encoding) {
        case Encoding::Utf8:
            AppendUtf8(out, cp);
            return;
        case Encoding::Utf16LE:
        case Encoding::Utf16BE: {
            const auto unit = [&out, encoding](char32_t u) {
                const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
                out.push_back(encoding == Encoding::Utf16LE ? low : high);
                out.push_back(encoding == Encoding::Utf16LE ? high : low);
            };
            if (cp >= 0x10000) {
                unit(0xD800 + ((cp - 0x10000) >> 10));
                unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                unit(cp);
            }
            return;
        }
        case Encoding::Latin1:
        case Encoding::OtherEightBit:
            out.push_back(static_cast<char>(cp));
            return;
        }
    };
    const auto putAscii = [&put](const std::string& text) {
        for (char c : text)
            put(static_cast<unsigned char>(c));
    };
    for (const char32_t cp : Characters(utf8)) {
        const char32_t widest = encoding == Encoding::Latin1 ? 0xFF : encoding == Encoding::OtherEightBit ? 0x7F : 0x10FFFF;
        if (cp == '&')
            putAscii("&amp;");
        else if (cp == '<')
            putAscii("&lt;");
        else if (cp == '>')
            putAscii("&gt;");
        else if (cp == '"')
            putAscii("&quot;");
        else if (cp == '\'')
            putAscii("&apos;");
        else if (cp < 0x20 || cp > widest)
            putAscii("&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";");
        else
            put(cp);
    }
    return out;
}

// The file's encoding and its configPos elements; nothing when it is no XML.
std::optional<std::pair<Encoding, std::vector<ConfigPos>>> Scan(const std::string& cadXml)
{
    const auto detected = Detect(cadXml);
    if (!detected)
        return std::nullopt;
    auto positions = FindConfigPositions(cadXml, detected->first, detected->second);
    if (!positions)
        return std::nullopt;
    return std::pair{detected->first, std::move(*positions)};
}

}  // namespace

std::vector<std::pair<std::string, std::string>> CadConfigurationRows(const std::string& cadXml)
{
    std::vector<std::pair<std::string, std::string>> rows;
    const auto scanned = Scan(cadXml);
    if (!scanned)
        return rows;
    const auto& [encoding, positions] = *scanned;
    for (const ConfigPos& position : positions)
        rows.emplace_back(position.name ? AttributeValue(cadXml, encoding, *position.name) : std::string(),
                          position.value ? AttributeValue(cadXml, encoding, *position.value) : std::string());
    return rows;
}

std::string ConfiguredCadXml(const std::string& cadXml, const std::vector<std::pair<std::string, std::string>>& rows)
{
    const auto scanned = Scan(cadXml);
    if (!scanned)
        return cadXml;
    const auto& [encoding, positions] = *scanned;
    // A later row of a name is the one that counts.
    std::map<std::string, std::string> values;
    for (const auto& [name, value] : rows)
        values[name] = value;
    std::string out;
    out.reserve(cadXml.size());
    std::size_t copied = 0;
    for (const ConfigPos& position : positions) {
        if (!position.name || !position.value)
            continue;
        const auto it = values.find(AttributeValue(cadXml, encoding, *position.name));
        // Only a value that changed is written anew: the rest stays byte for byte.
        if (it == values.end() || it->second == AttributeValue(cadXml, encoding, *position.value))
            continue;
        out.append(cadXml, copied, position.value->begin - copied);
        out += EncodeValue(it->second, encoding);
        copied = position.value->end;
    }
    out.append(cadXml, copied, std::string::npos);
    return out;
}

}  // namespace standin::services

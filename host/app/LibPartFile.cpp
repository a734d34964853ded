// The saved-file format of a library part: a line-oriented UTF-8 text, described in
// host/README.md ("Saved library parts").
#include "standin/Base.hpp"
#include "standin/LibParts.hpp"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace standin {
namespace {

const char* kMagic = "tarvel-libpart 1";

std::string CodeText(std::uint32_t code)
{
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i)
        s[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    return s;
}

bool CodeFromText(const std::string& s, std::uint32_t& code)
{
    if (s.size() != 4)
        return false;
    code = 0;
    for (char c : s)
        code = (code << 8) | static_cast<unsigned char>(c);
    return true;
}

std::string Number(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

bool ParseNumber(const std::string& s, double& value)
{
    const auto result = std::from_chars(s.data(), s.data() + s.size(), value);
    return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

template <typename T>
bool ParseInt(const std::string& s, T& value, int base = 10)
{
    const char* begin = s.data();
    if (base == 16 && s.size() > 2 && s[0] == '0' && s[1] == 'x')
        begin += 2;
    const auto result = std::from_chars(begin, s.data() + s.size(), value, base);
    return result.ec == std::errc() && result.ptr == s.data() + s.size() && begin != s.data() + s.size();
}

void AppendHex(std::string& out, const char* prefix, unsigned value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%s%0*X", prefix, digits, value);
    out += buffer;
}

// UTF-16 text: quotation mark and backslash escaped, control characters and lone
// surrogates as \uXXXX, everything else as UTF-8.
std::string QuoteUnits(const std::u16string& units)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u == u'"' || u == u'\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(u));
        } else if (u < 0x20 || u == 0x7F) {
            AppendHex(out, "\\u", u, 4);
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                   units[i + 1] <= 0xDFFF) {
            out += standin::base::EncodeUtf8(units.substr(i, 2));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendHex(out, "\\u", u, 4);
        } else {
            out += standin::base::EncodeUtf8(std::u16string(1, u));
        }
    }
    out.push_back('"');
    return out;
}

// Byte text: printable ASCII as it is, every other byte as \xHH.
std::string QuoteBytes(const std::string& bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c >= 0x7F) {
            AppendHex(out, "\\x", c, 2);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    out.push_back('"');
    return out;
}

// Base64 in lines of 76 characters, each ended by a line feed.
std::string Base64Lines(const std::string& bytes)
{
    const std::string text = base::Base64Encode(bytes);
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 76)
        out.append(text, i, 76).push_back('\n');
    return out;
}

struct Token {
    bool quoted = false;
    std::string word;
    std::u16string units;
    std::string bytes;
};

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Splits a line into words and quoted texts; false for a malformed quote.
bool Tokenize(const std::string& line, std::vector<Token>& tokens)
{
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ') {
            ++i;
            continue;
        }
        Token token;
        if (line[i] != '"') {
            while (i < line.size() && line[i] != ' ')
                token.word.push_back(line[i++]);
            tokens.push_back(std::move(token));
            continue;
        }
        token.quoted = true;
        ++i;
        std::string plain;  // UTF-8 run waiting to be decoded into units
        auto flush = [&] {
            token.units += standin::base::Decode(plain.data(), plain.size(), GS::CC_UTF8);
            plain.clear();
        };
        bool closed = false;
        while (i < line.size()) {
            const char c = line[i++];
            if (c == '"') {
                closed = true;
                break;
            }
            if (c != '\\') {
                plain.push_back(c);
                token.bytes.push_back(c);
                continue;
            }
            if (i >= line.size())
                return false;
            const char e = line[i++];
            if (e == '"' || e == '\\') {
                plain.push_back(e);
                token.bytes.push_back(e);
            } else if (e == 'x' && i + 2 <= line.size() && Hex(line[i]) >= 0 && Hex(line[i + 1]) >= 0) {
                const char byte = static_cast<char>(Hex(line[i]) * 16 + Hex(line[i + 1]));
                i += 2;
                token.bytes.push_back(byte);
                plain.push_back(byte);
            } else if (e == 'u' && i + 4 <= line.size()) {
                unsigned value = 0;
                for (int k = 0; k < 4; ++k) {
                    const int h = Hex(line[i + k]);
                    if (h < 0)
                        return false;
                    value = value * 16 + static_cast<unsigned>(h);
                }
                i += 4;
                flush();
                token.units.push_back(static_cast<char16_t>(value));
                if (value < 0x80)
                    token.bytes.push_back(static_cast<char>(value));
            } else {
                return false;
            }
        }
        if (!closed)
            return false;
        flush();
        tokens.push_back(std::move(token));
    }
    return true;
}

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    bool AtEnd() const { return at_ >= text_.size(); }
    bool Line(std::string& line)
    {
        if (AtEnd())
            return false;
        const std::size_t end = text_.find('\n', at_);
        if (end == std::string::npos)
            return false;
        line = text_.substr(at_, end - at_);
        at_ = end + 1;
        return true;
    }
    bool Bytes(std::size_t count, std::string& bytes)
    {
        if (text_.size() - at_ < count + 1 || text_[at_ + count] != '\n')
            return false;
        bytes = text_.substr(at_, count);
        at_ += count + 1;
        return true;
    }

private:
    const std::string& text_;
    std::size_t at_ = 0;
};

std::string TypeName(std::int32_t type)
{
    switch (type) {
    case HostInterface::ParamInteger: return "integer";
    case HostInterface::ParamLength: return "length";
    case HostInterface::ParamText: return "text";
    case HostInterface::ParamTitle: return "title";
    default: return "unknown";
    }
}

}  // namespace

std::string WriteLibPartFile(const LibPart& part)
{
    std::ostringstream out;
    out << kMagic << "\n";
    out << "name " << QuoteUnits(part.name) << "\n";
    out << "parent " << QuoteBytes(part.parentId) << "\n";
    out << "type " << part.typeCode << "\n";
    if (!part.hasParameters) {
        out << "parameters none\n";
    } else {
        out << "sizes " << Number(part.a) << " " << Number(part.b) << "\n";
        out << "parameters " << part.parameters.size() << "\n";
        for (const auto& p : part.parameters) {
            std::string flags;
            AppendHex(flags, "0x", static_cast<std::uint16_t>(p.flags), 4);
            out << "parameter " << QuoteBytes(p.name) << " " << TypeName(p.typeCode) << " " << p.typeCode
                << " flags " << flags;
            if (p.IsTable())
                out << " table " << p.rows << " " << p.columns;
            out << "\n";
            out << "  description " << QuoteUnits(p.description) << "\n";
            if (p.IsTable()) {
                for (std::int32_t r = 0; r < p.rows; ++r) {
                    out << "  row";
                    for (std::int32_t c = 0; c < p.columns; ++c)
                        out << " " << QuoteUnits(p.cells[static_cast<std::size_t>(r * p.columns + c)]);
                    out << "\n";
                }
            } else if (p.typeCode == HostInterface::ParamInteger || p.typeCode == HostInterface::ParamLength) {
                out << "  number " << Number(p.number) << "\n";
            } else {
                out << "  text " << QuoteUnits(p.text) << "\n";
            }
        }
    }
    for (const auto& section : part.sections) {
        const std::string code = CodeText(section.code);
        const std::size_t zero = section.bytes.find('\0');
        const bool picture = section.code == HostInterface::SectPreviewPicture ||
                             section.code == HostInterface::SectUIPicture;
        if (picture && zero != std::string::npos) {
            const std::string mime = section.bytes.substr(0, zero);
            const std::string data = section.bytes.substr(zero + 1);
            out << "picture " << code << " " << QuoteBytes(mime) << " " << data.size() << "\n"
                << Base64Lines(data) << "end " << code << "\n";
        } else if (picture) {
            out << "data " << code << " " << section.bytes.size() << "\n"
                << Base64Lines(section.bytes) << "end " << code << "\n";
        } else {
            out << "script " << code << " " << section.bytes.size() << "\n" << section.bytes << "\n";
        }
    }
    out << "end\n";
    return out.str();
}

bool ReadLibPartFile(const std::string& text, LibPart& part, std::string& error)
{
    part = LibPart{};
    Reader reader(text);
    std::string line;
    std::vector<Token> t;
    auto fail = [&](const std::string& why) {
        error = why + (line.empty() ? std::string() : ": " + line);
        return false;
    };
    if (!reader.Line(line) || line != kMagic)
        return fail("not a saved library part");
    bool sawEnd = false;
    while (reader.Line(line)) {
        if (!Tokenize(line, t) || t.empty())
            return fail("malformed line");
        const std::string& key = t[0].word;
        if (key == "end" && t.size() == 1) {
            sawEnd = true;
            break;
        }
        if (key == "name" && t.size() == 2 && t[1].quoted) {
            part.name = t[1].units;
        } else if (key == "parent" && t.size() == 2 && t[1].quoted) {
            part.parentId = t[1].bytes;
        } else if (key == "type" && t.size() == 2) {
            if (!ParseInt(t[1].word, part.typeCode))
                return fail("bad type");
        } else if (key == "sizes" && t.size() == 3) {
            if (!ParseNumber(t[1].word, part.a) || !ParseNumber(t[2].word, part.b))
                return fail("bad sizes");
        } else if (key == "parameters" && t.size() == 2) {
            if (t[1].word == "none")
                continue;
            std::size_t count = 0;
            if (!ParseInt(t[1].word, count))
                return fail("bad parameter count");
            part.hasParameters = true;
            for (std::size_t k = 0; k < count; ++k) {
                PartParameter p;
                if (!reader.Line(line) || !Tokenize(line, t) || t.size() < 6 || t[0].word != "parameter" ||
                    !t[1].quoted || !ParseInt(t[3].word, p.typeCode) || t[4].word != "flags" ||
                    !ParseInt(t[5].word, p.flags, 16))
                    return fail("bad parameter");
                p.name = t[1].bytes;
                if (t.size() == 9 && t[6].word == "table") {
                    if (!ParseInt(t[7].word, p.rows) || !ParseInt(t[8].word, p.columns) || p.rows <= 0 ||
                        p.columns <= 0)
                        return fail("bad table size");
                    p.tableFlag = HostInterface::ParamIsTable;
                } else if (t.size() != 6) {
                    return fail("bad parameter");
                }
                if (!reader.Line(line) || !Tokenize(line, t) || t.size() != 2 || t[0].word != "description" ||
                    !t[1].quoted)
                    return fail("bad description");
                p.description = t[1].units;
                if (p.IsTable()) {
                    for (std::int32_t r = 0; r < p.rows; ++r) {
                        if (!reader.Line(line) || !Tokenize(line, t) ||
                            t.size() != static_cast<std::size_t>(p.columns) + 1 || t[0].word != "row")
                            return fail("bad table row");
                        for (std::size_t c = 1; c < t.size(); ++c)
                            p.cells.push_back(t[c].units);
                    }
                } else if (!reader.Line(line) || !Tokenize(line, t) || t.size() != 2) {
                    return fail("bad value");
                } else if (t[0].word == "number") {
                    if (!ParseNumber(t[1].word, p.number))
                        return fail("bad number");
                } else if (t[0].word == "text" && t[1].quoted) {
                    p.text = t[1].units;
                } else {
                    return fail("bad value");
                }
                part.parameters.push_back(std::move(p));
            }
        } else if (key == "script" && t.size() == 3) {
            PartSection section;
            std::size_t count = 0;
            if (!CodeFromText(t[1].word, section.code) || !ParseInt(t[2].word, count) ||
                !reader.Bytes(count, section.bytes))
                return fail("bad script section");
            part.sections.push_back(std::move(section));
        } else if ((key == "picture" && t.size() == 4 && t[2].quoted) || (key == "data" && t.size() == 3)) {
            PartSection section;
            std::size_t count = 0;
            if (!CodeFromText(t[1].word, section.code) || !ParseInt(t[t.size() - 1].word, count))
                return fail("bad picture section");
            std::string base64;
            const std::string endLine = "end " + t[1].word;
            while (true) {
                if (!reader.Line(line))
                    return fail("unterminated picture section");
                if (line == endLine)
                    break;
                base64 += line;
            }
            const std::optional<std::string> data = base::Base64Decode(base64);
            if (!data || data->size() != count)
                return fail("bad picture data");
            section.bytes = key == "picture" ? t[2].bytes + std::string(1, '\0') + *data : *data;
            part.sections.push_back(std::move(section));
        } else {
            return fail("unknown line");
        }
    }
    if (!sawEnd)
        return fail("missing end");
    return true;
}

std::string LibPartFileName(const std::u16string& name)
{
    const std::string utf8 = standin::base::EncodeUtf8(name);
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F || std::strchr("/\\:*?\"<>|%", c) != nullptr || (i == 0 && c == '.'))
            AppendHex(out, "%", c, 2);
        else
            out.push_back(static_cast<char>(c));
    }
    if (out.empty())
        out = "%00";
    // File systems hold names of 255 bytes: long names keep a prefix and a hash.
    if (out.size() > 200) {
        std::uint64_t hash = 14695981039346656037ull;
        for (unsigned char c : utf8)
            hash = (hash ^ c) * 1099511628211ull;
        std::size_t cut = 180;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "~%016llX", static_cast<unsigned long long>(hash));
        out = out.substr(0, cut) + suffix;
    }
    return out + LibPartFileExtension;
}

}  // namespace standin

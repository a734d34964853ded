#include "db/GdlWriter.hpp"

#include "db/EmitText.hpp"

#include "ostrel/Text.hpp"

#include <algorithm>
#include <ostream>
#include <locale>

namespace tarvel {

void GdlWriter::Reserve(std::size_t bytes)
{
    if (bytes > textLimit || masterText_.size() + scriptSize_ > textLimit - bytes)
        throw GdlGenerationException("GDL generation stopped: the generated text would exceed " +
                                     std::to_string(textLimit) + " bytes");
}

void GdlWriter::AppendMasterUtf8(std::string_view line)
{
    Reserve(line.size() + 1);
    masterText_.append(line);
    masterText_.push_back('\n');
}

void GdlWriter::AppendMasterLines(std::string_view lines)
{
    Reserve(lines.size());
    masterText_.append(lines);
}

void GdlWriter::AppendUtf8InNewChunk(std::string_view line)
{
    const std::size_t bytes = line.size() + 1;
    Reserve(bytes);
    if (scriptChunks_.empty() || bytes > scriptChunks_.back().capacity - scriptChunks_.back().size)
        AddChunk(bytes);
    Chunk& chunk = scriptChunks_.back();
    char* at = chunk.bytes.get() + chunk.size;
    std::memcpy(at, line.data(), line.size());
    at[line.size()] = '\n';
    chunk.size += bytes;
    scriptSize_ += bytes;
}

void GdlWriter::AddChunk(std::size_t bytes)
{
    Chunk chunk;
    chunk.capacity = std::max(kChunk, bytes);
    chunk.bytes = std::make_unique_for_overwrite<char[]>(chunk.capacity);
    scriptChunks_.push_back(std::move(chunk));
}

GdlWriter::Chunk::Chunk(const Chunk& other)
    : bytes(std::make_unique_for_overwrite<char[]>(other.capacity)), size(other.size), capacity(other.capacity)
{
    std::memcpy(bytes.get(), other.bytes.get(), size);
}

GdlWriter::Chunk& GdlWriter::Chunk::operator=(const Chunk& other)
{
    if (this != &other)
        *this = Chunk(other);
    return *this;
}

std::string GdlWriter::GetScript() const
{
    std::string script;
    script.reserve(scriptSize_);
    for (const auto& chunk : scriptChunks_)
        script.append(chunk.bytes.get(), chunk.size);
    return script;
}

void GdlWriter::WriteMasterScript(std::ostream& out) const
{
    out.write(masterText_.data(), static_cast<std::streamsize>(masterText_.size()));
}

void GdlWriter::WriteScript(std::ostream& out) const
{
    for (const auto& chunk : scriptChunks_)
        out.write(chunk.bytes.get(), static_cast<std::streamsize>(chunk.size));
}

namespace {

// Plain ASCII is narrowed directly; anything else goes through the validating conversion.
std::string Utf8Of(std::wstring line)
{
    std::string out(line.size(), '\0');
    for (std::size_t i = 0; i < line.size(); ++i) {
        const wchar_t unit = line[i];
        if (unit < 0 || unit >= 0x80)
            return ostrel::WStringToUtf8(std::move(line));
        out[i] = static_cast<char>(unit);
    }
    return out;
}

}  // namespace

void AppendUtf8Of(std::string& out, std::wstring_view text)
{
    std::size_t ascii = 0;
    while (ascii < text.size() && text[ascii] >= 0 && text[ascii] < 0x80)
        ++ascii;
    const std::size_t at = out.size();
    out.resize(at + ascii);
    for (std::size_t i = 0; i < ascii; ++i)
        out[at + i] = static_cast<char>(text[i]);
    if (ascii < text.size())
        out += ostrel::WStringToUtf8(std::wstring(text.substr(ascii)));
}

void AppendNameUtf8Of(std::string& out, const std::wstring& text)
{
    if (!NeedsNameEncoding(text))
        AppendUtf8Of(out, text);
    else
        AppendUtf8Of(out, GdlNameText(text));
}

void GdlWriter::AppendMasterLine(std::wstring line) { AppendMasterUtf8(Utf8Of(std::move(line))); }

void GdlWriter::AppendMasterLine(const char* utf8Line)
{
    // Literals go through the same validation as wide text would.
    AppendMasterUtf8(ostrel::WStringToUtf8(ostrel::Utf8ToWString(utf8Line)));
}

void GdlWriter::AppendLine(std::wstring line) { AppendUtf8(Utf8Of(std::move(line))); }

void GdlWriter::AppendLine(const char* utf8Line) { AppendUtf8(ostrel::WStringToUtf8(ostrel::Utf8ToWString(utf8Line))); }

void GdlWriter::PushGroupName(std::wstring name) { groupNames.push_back(std::move(name)); }

std::wstring GdlWriter::GetFirstGroupName() const
{
    if (groupNames.empty())
        throw std::out_of_range("invalid vector subscript");
    return groupNames.front();
}

void GdlWriter::SetFirstGroupName(const std::wstring& name)
{
    if (groupNames.empty())
        throw std::out_of_range("invalid vector subscript");
    if (&groupNames.front() == &name)
        return;
    groupNames.front() = name;
}

void GdlWriter::Put(double x, double y)
{
    const auto snap = [](double v) {
        if (v > 0 && v < 0.00001)
            return 0.00001;
        if (v < 0 && v > -0.00001)
            return 0.0;
        return v;
    };
    (emit::ScriptLine(*this, "    PUT ") << snap(x) << ", " << snap(y) << ", 15").End();
}

void GdlWriter::EnterElement()
{
    if (++emissions_ > emissionLimit)
        throw GdlGenerationException("GDL generation stopped: more than " + std::to_string(emissionLimit) +
                                     " part and assembly emissions");
}

void GdlWriter::EnterAssembly(const Assembly* assembly, const std::wstring& id)
{
    if (std::find(assemblyPath_.begin(), assemblyPath_.end(), assembly) != assemblyPath_.end())
        throw GdlGenerationException("GDL generation stopped: assembly " + ostrel::WStringToUtf8(GdlNameText(id)) +
                                     " contains itself");
    if (assemblyPath_.size() >= MaxNestingDepth)
        throw GdlGenerationException("GDL generation stopped: assemblies nested deeper than " +
                                     std::to_string(MaxNestingDepth) + " levels");
    assemblyPath_.push_back(assembly);
}

void GdlWriter::LeaveAssembly() { assemblyPath_.pop_back(); }

namespace emit {

std::size_t NumberTextInGeneral(double value, char* out)
{
    const std::string text = ostrel::ToUtf8Number(value);
    return text.copy(out, text.size());
}

}  // namespace emit

std::wstring ToWString(const double& value) { return ostrel::ToString(value, std::locale::classic()); }
std::wstring ToWString(const unsigned short& value) { return ostrel::ToString(value, std::locale::classic()); }
std::wstring ToWString(const short& value) { return ostrel::ToString(value, std::locale::classic()); }

std::wstring GdlNameText(const std::wstring& text)
{
    if (!NeedsNameEncoding(text))
        return text;
    std::wstring out;
    out.reserve(text.size() + 8);
    for (wchar_t c : text) {
        if (c == L'"')
            out += L"%22";
        else if (c == L'%')
            out += L"%25";
        else if (c == L'\\')
            out += L"%5C";
        else if (c == L'\r')
            out += L"%0D";
        else if (c == L'\n')
            out += L"%0A";
        else
            out.push_back(c);
    }
    return out;
}

}  // namespace tarvel

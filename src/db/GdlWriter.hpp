// The text of one GDL generation: the master (definitions) text, the 3D text, the
// result-group names that parts and assemblies hand to each other, the unit divisor
// and the state of the 2D profile being written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarvel {

class Assembly;

// The generation stopped because the product would need more text, more element
// emissions or deeper nesting than the writer allows, or because an assembly
// contains itself.
class GdlGenerationException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class GdlWriter {
public:
    // Bounds of one generation. A shared sub-assembly listed twice at each of many
    // levels asks for exponentially much text; these stop it with an error.
    static constexpr std::size_t DefaultTextLimit = std::size_t{256} << 20;  // bytes of UTF-8, both texts
    static constexpr std::size_t DefaultEmissionLimit = std::size_t{1} << 24;  // part and assembly emissions
    static constexpr std::size_t MaxNestingDepth = 256;                        // assemblies inside assemblies

    void AppendMasterLine(std::wstring line);
    void AppendMasterLine(const char* utf8Line);
    void AppendLine(std::wstring line);
    void AppendLine(const char* utf8Line);

    void PushGroupName(std::wstring name);
    std::vector<std::wstring> GetGroupNames() const { return groupNames; }
    // Throws std::out_of_range ("invalid vector subscript") on an empty list.
    std::wstring GetFirstGroupName() const;
    void SetFirstGroupName(const std::wstring& name);
    void ClearGroupNames() { groupNames.clear(); }

    // One profile point line; x and y already rotated, mirrored and divided.
    void Put(double x, double y);

    std::string GetMasterScript() const { return masterText_; }
    std::string GetScript() const;
    // The same texts written to a stream, without a copy of the whole text.
    void WriteMasterScript(std::ostream& out) const;
    void WriteScript(std::ostream& out) const;

    // A buffer the emission may build a line in before appending it (kept between lines).
    std::string& Scratch() { return scratch_; }

    // Fast appends for the emission: a line given as UTF-8.
    void AppendMasterUtf8(std::string_view line);
    void AppendUtf8(std::string_view line)
    {
        const std::size_t bytes = line.size() + 1;
        if (!scriptChunks_.empty()) [[likely]] {
            Chunk& chunk = scriptChunks_.back();
            if (bytes <= chunk.capacity - chunk.size && Fits(bytes)) [[likely]] {
                char* at = chunk.bytes.get() + chunk.size;
                std::memcpy(at, line.data(), line.size());
                at[line.size()] = '\n';
                chunk.size += bytes;
                scriptSize_ += bytes;
                return;
            }
        }
        AppendUtf8InNewChunk(line);
    }
    // For a line written in place at the end of the 3D text (emit::ScriptLine): room
    // for at least `bytes` more, from the returned place to `end`; and the line written
    // there from `begin` to `end`, to which the line feed is added.
    char* ScriptRoom(std::size_t bytes, char*& end)
    {
        if (scriptChunks_.empty() || bytes > scriptChunks_.back().capacity - scriptChunks_.back().size) [[unlikely]]
            AddChunk(bytes);
        Chunk& chunk = scriptChunks_.back();
        end = chunk.bytes.get() + chunk.capacity;
        return chunk.bytes.get() + chunk.size;
    }
    // With emptyAfter, an empty line follows (the room must hold its line feed too).
    void CommitScriptLine(char* begin, char* end, bool emptyAfter = false)
    {
        const std::size_t bytes = static_cast<std::size_t>(end - begin) + (emptyAfter ? 2 : 1);
        if (!Fits(bytes)) [[unlikely]] {
            // As two appends would end: the line when it fits, then the error.
            Reserve(bytes - (emptyAfter ? 1 : 0));
            CommitScriptLine(begin, end);
            Reserve(1);
        }
        end[0] = '\n';
        end[1] = '\n';  // the empty line's, or a byte beyond the text that the room holds
        scriptChunks_.back().size += bytes;
        scriptSize_ += bytes;
    }
    // Several whole lines at once, each already ended by its line feed.
    void AppendMasterLines(std::string_view lines);

    // Bookkeeping of the element emissions, for the bounds above.
    void EnterElement();
    void EnterAssembly(const Assembly* assembly, const std::wstring& id);
    void LeaveAssembly();

    std::vector<std::wstring> groupNames;
    double unitDivisor = 1.0;
    std::int32_t entryCount = 0;
    std::uint16_t entryIndex = 0;
    double lastX = 0;
    double lastY = 0;
    double axisAngle = 0;  // radians
    bool skipAxisPoints = false;
    bool mirrorY = false;

    std::size_t textLimit = DefaultTextLimit;
    std::size_t emissionLimit = DefaultEmissionLimit;

    // How the ids of parts and of assemblies stand in the unquoted result names of this
    // generation, for the ids that cannot stand there as they are (the driver fills them;
    // an id missing here is mapped on its own).
    std::unordered_map<std::wstring, std::wstring> partResultIds;
    std::unordered_map<std::wstring, std::wstring> assemblyResultIds;
    // The id of the part being written, for what its solids report.
    const std::wstring* partId = nullptr;
    // Solids that were not made (refused revolves); each wrote its warning.
    std::size_t refusedSolids = 0;

private:
    bool Fits(std::size_t bytes) const
    {
        return bytes <= textLimit && masterText_.size() + scriptSize_ <= textLimit - bytes;
    }
    void Reserve(std::size_t bytes);
    void AppendUtf8InNewChunk(std::string_view line);
    void AddChunk(std::size_t bytes);

    static constexpr std::size_t kChunk = std::size_t{1} << 20;  // bytes of 3D text in one chunk

    // Both texts are kept as UTF-8, the form in which they are handed out. The 3D
    // text, which can grow large, is kept in chunks, so that it is never copied while
    // it grows; lines are appended to the last chunk.
    struct Chunk {
        Chunk() = default;
        Chunk(Chunk&&) = default;
        Chunk& operator=(Chunk&&) = default;
        Chunk(const Chunk& other);
        Chunk& operator=(const Chunk& other);

        std::unique_ptr<char[]> bytes;
        std::size_t size = 0;
        std::size_t capacity = 0;
    };
    std::string masterText_;
    std::vector<Chunk> scriptChunks_;
    std::size_t scriptSize_ = 0;
    std::string scratch_;
    std::size_t emissions_ = 0;
    std::vector<const Assembly*> assemblyPath_;
};

// Appends the UTF-8 of wide text (UTF-16 units) to out.
void AppendUtf8Of(std::string& out, std::wstring_view text);
// Appends the UTF-8 of GdlNameText(text) to out.
void AppendNameUtf8Of(std::string& out, const std::wstring& text);

std::wstring ToWString(const double& value);
std::wstring ToWString(const unsigned short& value);
std::wstring ToWString(const short& value);

// A name or id as it may stand inside a quoted GDL name or on one line: a double
// quote, a carriage return and a line feed become %22, %0D and %0A, and the escape's
// own "%" and a backslash (which would escape the closing quote) %25 and %5C, so that
// distinct texts stay distinct; every other text is unchanged.
std::wstring GdlNameText(const std::wstring& text);
// Whether GdlNameText changes the text. One pass without a call per unit: names are
// tested once for every part, material and group.
inline bool NeedsNameEncoding(std::wstring_view text)
{
    bool found = false;
    for (const wchar_t c : text)
        found |= (c == L'"') | (c == L'\r') | (c == L'\n') | (c == L'%') | (c == L'\\');
    return found;
}

}  // namespace tarvel

using tarvel::GdlWriter;

// The text of one GDL generation: the master (definitions) text, the 3D text, the
// result-group names that parts and assemblies hand to each other, the unit divisor
// and the state of the 2D profile being written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
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
    void AppendUtf8(std::string_view line);

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

private:
    void Reserve(std::size_t bytes);

    // Both texts are kept as UTF-8, the form in which they are handed out. The 3D
    // text, which can grow large, is kept in chunks, so that it is never copied while
    // it grows.
    std::string masterText_;
    std::vector<std::string> scriptChunks_;
    std::size_t scriptSize_ = 0;
    std::string scratch_;
    std::size_t emissions_ = 0;
    std::vector<const Assembly*> assemblyPath_;
};

// Appends the UTF-8 of wide text (UTF-16 units) to out.
void AppendUtf8Of(std::string& out, const std::wstring& text);

std::wstring ToWString(const double& value);
std::wstring ToWString(const unsigned short& value);
std::wstring ToWString(const short& value);

// A name or id as it may stand inside a quoted GDL name or on one line: a double
// quote, a carriage return and a line feed become %22, %0D and %0A; every other
// text is unchanged.
std::wstring GdlNameText(const std::wstring& text);

}  // namespace tarvel

using tarvel::GdlWriter;

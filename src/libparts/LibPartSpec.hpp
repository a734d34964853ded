// The complete description of one library part about to be created, and its
// writing through the host's library-part interface.
#pragma once

#include "GSRoot.hpp"
#include "HostRecords.hpp"
#include "IO.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {

struct LibPartParam {
    std::int16_t kind = 2;
    std::string name;
    std::wstring description;
    double numericValue = 0;
    std::wstring stringValue;
    std::vector<std::vector<std::wstring>> arrayValue;
    bool flagA = false;
    bool flagB = false;
};

// One parameter group of the product data sheet.
struct ParamGroup {
    std::wstring name;
    std::vector<std::wstring> ids;
    std::vector<std::wstring> names;
    std::vector<std::wstring> values;
};

class LibPartSpec {
public:
    // Longest texts the host records hold (terminator not counted).
    static constexpr std::size_t MaxNameUnits = HostInterface::NameUnits - 1;
    static constexpr std::size_t MaxParentIdBytes = HostInterface::ParentIdBytes - 1;
    static constexpr std::size_t MaxTextUnits = HostInterface::ParamTextUnits - 1;

    LibPartSpec();

    std::int32_t GetLibPartType() const;

    void SetMasterScript(const std::string& text);
    void Set2DScript(const std::string& text);
    void Set3DScript(const std::string& text);
    void SetUIScript(const std::string& text);
    void SetPreviewPicturePath(const std::string& path);
    void SetUIPicturePath(const std::string& path);

    void AddIntegerParameter(const std::string& name, const std::wstring& description, double value);
    void AddStringParameter(const std::string& name, const std::wstring& description, const std::wstring& value,
                            bool flagB);
    void AddStringArrayParameter(const std::string& name, const std::wstring& description,
                                 const std::vector<std::vector<std::wstring>>& rows);

    // The library index of the saved part; 0 or less: no usable part was created.
    std::int32_t CreateLibraryPart();
    bool BuildParameterSection(HostInterface::LibPartRecord& record, GSHandle& section);

    std::wstring name;
    std::string parentId;
    IO::Location location;
    std::string masterScript;
    std::string script2D;
    std::string script3D;
    std::string uiScript;
    std::string previewPicturePath;
    std::string uiPicturePath;
    std::vector<LibPartParam> parameters;
    double a;
    double b;
};

bool AddScriptSection(std::uint32_t code, const std::string& text);

// The part's library-part record as prepared for the host: zero bytes and the named fields.
void PrepareLibPartRecord(LibPartSpec& spec, HostInterface::LibPartRecord& record);

// The length of the text's longest start of at most maxUnits units that does not end
// in the first half of a surrogate pair.
std::size_t CutLength(const std::wstring& text, std::size_t maxUnits);

// Copies a UTF-16 text into a record field of `units` units, cut so that it ends terminated
// and never splits a surrogate pair.
void CopyToField(const std::wstring& text, GS::uchar_t* field, std::size_t units);

// Copies a name into a zero-filled record and searches it; deletes a location the host
// puts into the record. The index found, 0 when there is no such part.
std::int32_t FindLibPartIndex(const std::wstring& name);

}  // namespace tarvel

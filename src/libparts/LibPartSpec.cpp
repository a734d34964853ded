#include "libparts/LibPartSpec.hpp"

#include "ostrel/interop/HostApi.hpp"

#include <algorithm>
#include <climits>
#include <cstring>

namespace tarvel {
namespace {

using namespace HostInterface;

struct SubtypeType {
    const char* guid;
    std::int32_t type;
};

const SubtypeType kSubtypes[] = {
    {"{11E85B84-8DD1-491B-A2FE-337454A91545}", LibPartDoor},
    {"{4ABD0A6E-634B-4931-B3AA-9BEE01F35CDF}", LibPartWindow},
    {"{0E0831DD-3766-4A60-BBE7-19A9537F76E3}", LibPartSkylight},
    {"{A714DB74-67E4-4889-9796-26A6BDFC069B}", LibPartSkylight},
    {"{5921D56A-82F2-4253-BD84-6091E5717DC4}", LibPartSkylight},
    {"{F6AE9687-2BC7-4D47-88C9-8F793E1DE2D6}", LibPartWindow},
    {"{6ACDA889-69B2-4EC5-936C-CB1DA7032A92}", LibPartWindow},
};

void DeleteHostLocation(LibPartRecord& record, const IO::Location* own)
{
    if (record.location != nullptr && record.location != own)
        delete record.location;
    record.location = nullptr;
}

// Releases the text tables of a filled parameter handle, then the handle.
void ReleaseParameterHandle(GSHandle& handle, std::size_t filled)
{
    if (handle == nullptr)
        return;
    for (std::size_t i = 0; i < filled; ++i) {
        ParamRecord record;
        std::memcpy(&record, *handle + i * sizeof(ParamRecord), sizeof record);
        if (record.tableFlag == ParamIsTable && record.value.table != nullptr)
            BMKillHandle(&record.value.table);
    }
    BMKillHandle(&handle);
}

// A text table: every row padded to the longest (at least 1 column) with empty texts.
GSHandle MakeTextTable(const std::vector<std::vector<std::wstring>>& rows, std::int32_t& columns)
{
    std::size_t longest = 1;
    for (const auto& row : rows)
        longest = std::max(longest, row.size());
    std::u16string packed;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < longest; ++c) {
            if (c < row.size())
                for (wchar_t unit : row[c])
                    packed.push_back(static_cast<char16_t>(unit));
            packed.push_back(0);
        }
    columns = static_cast<std::int32_t>(longest);
    GSHandle table = BMAllocateHandle(static_cast<GSSize>(packed.size() * sizeof(char16_t)), ALLOCATE_CLEAR, 0);
    if (table != nullptr)
        std::memcpy(*table, packed.data(), packed.size() * sizeof(char16_t));
    return table;
}

// 0 when the picture was added or is simply not there; false when adding it failed.
bool AddPictureSection(std::uint32_t code, const std::string& path)
{
    if (path.size() < 2)
        return true;
    IO::Location location(path);
    IO::File file(location, IO::File::Fail);
    std::uint64_t length = 0;
    if (file.GetStatus() != 0 || file.GetDataLength(&length) != 0)
        return true;
    GSHandle handle = BMAllocateHandle(static_cast<GSSize>(10 + length), 0, 0);
    if (handle == nullptr)
        return true;
    std::memcpy(*handle, "image/png", 10);
    bool ok = file.Open(IO::File::ReadMode, IO::File::AccessDeniedReadOnly) == 0 &&
              file.ReadBin(*handle + 10, length) == 0;
    if (ok) {
        SectionHeader header;
        ZeroRecord(header);
        header.code = code;
        ok = HostApi_AddLibPartSection(&header, handle, nullptr) == 0;
    }
    file.Close();
    BMKillHandle(&handle);
    return ok;
}

}  // namespace

std::size_t CutLength(const std::wstring& text, std::size_t maxUnits)
{
    if (text.size() <= maxUnits)
        return text.size();
    std::size_t n = maxUnits;
    // Never keep the first half of a surrogate pair alone.
    if (n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF)
        --n;
    return n;
}

void CopyToField(const std::wstring& text, GS::uchar_t* field, std::size_t units)
{
    const std::size_t n = CutLength(text, units - 1);
    for (std::size_t i = 0; i < n; ++i)
        field[i] = static_cast<GS::uchar_t>(text[i]);
    field[n] = 0;
}

std::int32_t FindLibPartIndex(const std::wstring& name)
{
    LibPartRecord record;
    ZeroRecord(record);
    CopyToField(name, record.name, NameUnits);
    HostApi_FindLibPart(&record, false, false);
    DeleteHostLocation(record, nullptr);
    return record.index;
}

LibPartSpec::LibPartSpec() : a(1.0), b(1.0) {}

std::int32_t LibPartSpec::GetLibPartType() const
{
    const std::string taken = parentId.substr(0, 38);
    if (taken.empty() || taken[0] != '{')
        return LibPartObject;
    for (const auto& subtype : kSubtypes)
        if (taken == subtype.guid)
            return subtype.type;
    return LibPartObject;
}

void LibPartSpec::SetMasterScript(const std::string& text) { masterScript = text; }
void LibPartSpec::Set2DScript(const std::string& text) { script2D = text; }
void LibPartSpec::Set3DScript(const std::string& text) { script3D = text; }
void LibPartSpec::SetUIScript(const std::string& text) { uiScript = text; }
void LibPartSpec::SetPreviewPicturePath(const std::string& path) { previewPicturePath = path; }
void LibPartSpec::SetUIPicturePath(const std::string& path) { uiPicturePath = path; }

void LibPartSpec::AddIntegerParameter(const std::string& paramName, const std::wstring& description, double value)
{
    LibPartParam p;
    p.kind = 0;
    p.name = paramName;
    p.description = description;
    p.numericValue = value;
    p.flagA = false;
    p.flagB = true;
    parameters.push_back(std::move(p));
}

void LibPartSpec::AddStringParameter(const std::string& paramName, const std::wstring& description,
                                     const std::wstring& value, bool flagB)
{
    LibPartParam p;
    p.kind = 2;
    p.name = paramName;
    p.description = description;
    p.stringValue = value;
    p.flagB = flagB;
    parameters.push_back(std::move(p));
}

void LibPartSpec::AddStringArrayParameter(const std::string& paramName, const std::wstring& description,
                                          const std::vector<std::vector<std::wstring>>& rows)
{
    LibPartParam p;
    p.kind = 2;
    p.name = paramName;
    p.description = description;
    p.arrayValue = rows;
    p.flagB = true;
    parameters.push_back(std::move(p));
}

void PrepareLibPartRecord(LibPartSpec& spec, LibPartRecord& record)
{
    ZeroRecord(record);
    record.typeCode = spec.GetLibPartType();
    record.index = 0;
    CopyToField(spec.name, record.name, NameUnits);
    CopyToField(spec.name, record.fileName, NameUnits);
    record.byte1033 = 0;
    record.byte1034 = 1;
    record.location = &spec.location;
    const std::size_t n = std::min(spec.parentId.size(), ParentIdBytes - 1);
    std::memcpy(record.parentId, spec.parentId.data(), n);
    record.parentId[n] = '\0';
}

bool LibPartSpec::BuildParameterSection(LibPartRecord& record, GSHandle& section)
{
    GSHandle handle = nullptr;
    std::size_t filled = 0;
    if (!parameters.empty()) {
        handle = BMAllocateHandle(static_cast<GSSize>(parameters.size() * sizeof(ParamRecord)), ALLOCATE_CLEAR, 0);
        // Without the list the part would lack its parameters: that is a failed section.
        if (handle == nullptr)
            return false;
    }
    bool ok = true;
    for (const LibPartParam& p : parameters) {
        ParamRecord r;
        ZeroRecord(r);
        r.tableFlag = 0;
        CHTruncate(p.name.c_str(), r.name, ParamNameBytes, GS::CC_Default);
        CopyToField(p.description, r.description, ParamTextUnits);
        if (p.flagA)
            r.flags |= ParamFlagA;
        if (p.flagB)
            r.flags = static_cast<std::int16_t>(r.flags | ParamFlagB);
        switch (p.kind) {
        case 0:
            r.typeCode = ParamInteger;
            r.value.number = p.numericValue;
            break;
        case 1:
            r.typeCode = ParamLength;
            r.value.number = p.numericValue;
            break;
        case 3:
            r.typeCode = ParamTitle;
            CopyToField(p.stringValue, r.value.text, ParamTextUnits);
            r.flags = ParamFlagTitle;
            break;
        default:
            r.typeCode = ParamText;
            if (p.arrayValue.empty()) {
                CopyToField(p.stringValue, r.value.text, ParamTextUnits);
            } else {
                r.tableFlag = ParamIsTable;
                r.rows = static_cast<std::int32_t>(p.arrayValue.size());
                r.value.table = MakeTextTable(p.arrayValue, r.columns);
                ok = r.value.table != nullptr;
            }
            break;
        }
        std::memcpy(*handle + filled * sizeof(ParamRecord), &r, sizeof r);
        ++filled;
        if (!ok)
            break;
    }
    if (ok) {
        const double aCopy = a;
        const double bCopy = b;
        ok = HostApi_BuildParamSection(&record, handle, &aCopy, &bCopy, 0, &section, 0) == 0;
    }
    if (ok) {
        ParamDetailsRecord details;
        ZeroRecord(details);
        details.version = ParamDetailsVersion;
        details.count = 1;
        ok = HostApi_SetParamSectionDetails(&record, section, &details) == 0;
    }
    ReleaseParameterHandle(handle, filled);
    return ok;
}

bool AddScriptSection(std::uint32_t code, const std::string& text)
{
    if (text.size() > static_cast<std::size_t>(INT32_MAX))
        return false;
    SectionHeader header;
    ZeroRecord(header);
    header.code = code;
    if (HostApi_BeginLibPartSection(&header) != 0)
        return false;
    const GSErrCode written = HostApi_WriteLibPartSection(static_cast<std::int32_t>(text.size()), text.data());
    const GSErrCode ended = HostApi_EndLibPartSection();
    return written == 0 && ended == 0;
}

std::int32_t LibPartSpec::CreateLibraryPart()
{
    // Texts the record cannot hold are refused: a cut name or reference would name
    // another part than the one asked for.
    if (name.empty() || name.size() > MaxNameUnits || parentId.size() > MaxParentIdBytes ||
        parentId.find('\0') != std::string::npos)
        return 0;

    LibPartRecord record;
    PrepareLibPartRecord(*this, record);

    HostApi_SetOverwriteLibParts(true);
    const GSErrCode begun = HostApi_BeginLibPart(&record);
    HostApi_SetOverwriteLibParts(false);
    if (begun != 0)
        return record.index;

    GSHandle section = nullptr;
    bool complete = false;
    if (BuildParameterSection(record, section)) {
        SectionHeader header;
        ZeroRecord(header);
        header.code = SectParameters;
        complete = HostApi_AddLibPartSection(&header, section, nullptr) == 0 &&
                   AddScriptSection(SectMasterScript, masterScript) && AddScriptSection(Sect2DScript, script2D) &&
                   AddScriptSection(Sect3DScript, script3D) && AddScriptSection(SectUIScript, uiScript) &&
                   AddPictureSection(SectPreviewPicture, previewPicturePath) &&
                   AddPictureSection(SectUIPicture, uiPicturePath);
    }

    // Saved in every case: the host needs the part closed.
    const GSErrCode saved = HostApi_SaveLibPart(&record);
    if (saved != 0) {
        DeleteHostLocation(record, &location);
        BMKillHandle(&section);
        return complete ? record.index : 0;
    }
    DeleteHostLocation(record, &location);

    if (complete) {
        HostInterface::LibraryList list;
        if (HostApi_GetLibraryList(&list) == 0) {
            const bool active = std::any_of(list.entries.begin(), list.entries.end(),
                                            [&](const LibraryEntry& entry) { return entry.location == location; });
            if (!active) {
                LibraryEntry entry;
                entry.location = location;
                list.entries.push_back(entry);
                if (HostApi_SetLibraryList(&list) == 0)
                    record.index = FindLibPartIndex(name);
            }
        }
    }

    BMKillHandle(&section);
    // A part missing a section is no usable part, saved or not.
    return complete ? record.index : 0;
}

}  // namespace tarvel

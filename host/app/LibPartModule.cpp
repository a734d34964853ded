#include "ParamRecords.hpp"
#include "standin/Base.hpp"
#include "standin/LibParts.hpp"

#include <boost/filesystem/operations.hpp>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace standin {
namespace {

namespace fs = boost::filesystem;
using namespace HostInterface;
using records::TerminatedWithin;

LibPartModule& Store() { return Host::Current().Module<LibPartModule>(); }

GSErrCode FindLibPart(LibPartRecord* record, bool onlyPlaceable, bool onlyActive)
{
    return Store().Find(record, onlyPlaceable, onlyActive);
}
GSErrCode SetOverwriteLibParts(bool overwrite)
{
    return Store().SetOverwrite(overwrite);
}
GSErrCode BeginLibPart(LibPartRecord* record)
{
    return Store().Begin(record);
}
GSErrCode BuildParamSection(LibPartRecord* record, GSHandle parameters, const double* a, const double* b,
                            std::int32_t r1, GSHandle* section, std::int32_t r2)
{
    return Store().BuildParams(record, parameters, a, b, r1, section, r2);
}
GSErrCode SetParamSectionDetails(LibPartRecord* record, GSHandle section, const ParamDetailsRecord* details)
{
    return Store().SetDetails(record, section, details);
}
GSErrCode AddLibPartSection(const SectionHeader* header, GSHandle content, const void* reserved)
{
    return Store().AddSection(header, content, reserved);
}
GSErrCode BeginLibPartSection(const SectionHeader* header)
{
    return Store().BeginSection(header);
}
GSErrCode WriteLibPartSection(std::int32_t count, const char* bytes)
{
    return Store().WriteSection(count, bytes);
}
GSErrCode EndLibPartSection()
{
    return Store().EndSection();
}
GSErrCode SaveLibPart(LibPartRecord* record)
{
    return Store().Save(record);
}
GSErrCode GetLibraryList(LibraryList* list)
{
    return Store().GetLibraries(list);
}
GSErrCode SetLibraryList(const LibraryList* list)
{
    return Store().SetLibraries(list);
}


bool ValidTypeCode(std::int32_t type)
{
    return type == LibPartWindow || type == LibPartDoor || type == LibPartObject || type == LibPartSkylight;
}

// The section handle the host hands out for a parameter section: a tag and a serial.
constexpr char kSectionTag[8] = {'S', 'T', 'P', 'A', 'R', 'D', 0, 0};

std::string ReadWholeFile(const std::string& path, bool& ok)
{
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::vector<std::u16string>> PartParameter::Rows() const
{
    std::vector<std::vector<std::u16string>> rows;
    for (std::int32_t r = 0; r < this->rows; ++r) {
        auto first = cells.begin() + r * columns;
        rows.emplace_back(first, first + columns);
    }
    return rows;
}

const PartSection* LibPart::Section(std::uint32_t code) const
{
    for (const auto& section : sections)
        if (section.code == code)
            return &section;
    return nullptr;
}

std::string LibPart::Script(std::uint32_t code) const
{
    const PartSection* section = Section(code);
    return section != nullptr ? section->bytes : std::string();
}

const PartParameter* LibPart::Parameter(const std::string& parameterName) const
{
    for (const auto& p : parameters)
        if (p.name == parameterName)
            return &p;
    return nullptr;
}

std::string LibPart::NameUtf8() const { return standin::base::EncodeUtf8(name); }

LibPartModule::LibPartModule(Host& host)
{
    // Folders that have gone missing since are left out.
    std::vector<std::string> folders;
    for (const auto& folder : host.Options().activeLibraries) {
        boost::system::error_code ec;
        if (!folder.empty() && fs::is_directory(fs::path(IO::Location(folder).FileSystemPath()), ec))
            folders.push_back(folder);
    }
    SetActiveLibraries(folders);
}

void LibPartModule::Install(FunctionTable& table)
{
    table.Provide<Slot::FindLibPart, &FindLibPart>();
    table.Provide<Slot::SetOverwriteLibParts, &SetOverwriteLibParts>();
    table.Provide<Slot::BeginLibPart, &BeginLibPart>();
    table.Provide<Slot::BuildParamSection, &BuildParamSection>();
    table.Provide<Slot::SetParamSectionDetails, &SetParamSectionDetails>();
    table.Provide<Slot::AddLibPartSection, &AddLibPartSection>();
    table.Provide<Slot::BeginLibPartSection, &BeginLibPartSection>();
    table.Provide<Slot::WriteLibPartSection, &WriteLibPartSection>();
    table.Provide<Slot::EndLibPartSection, &EndLibPartSection>();
    table.Provide<Slot::SaveLibPart, &SaveLibPart>();
    table.Provide<Slot::GetLibraryList, &GetLibraryList>();
    table.Provide<Slot::SetLibraryList, &SetLibraryList>();
}

std::vector<std::string> LibPartModule::ActiveLibraries() const { return active_; }

GSErrCode LibPartModule::SetActiveLibraries(const std::vector<std::string>& folders)
{
    for (const auto& folder : folders) {
        boost::system::error_code ec;
        if (folder.empty() || !fs::is_directory(fs::path(IO::Location(folder).FileSystemPath()), ec))
            return ErrNotFound;
    }
    active_ = folders;
    for (const auto& folder : active_)
        ScanFolder(folder);
    IndexActiveParts();
    return 0;
}

bool LibPartModule::IsActiveFolder(const std::string& folder) const
{
    const std::string n = standin::base::NormalisePath(folder);
    return std::any_of(active_.begin(), active_.end(), [&](const auto& f) { return standin::base::NormalisePath(f) == n; });
}

void LibPartModule::ScanFolder(const std::string& folder)
{
    const fs::path dir(IO::Location(folder).FileSystemPath());
    boost::system::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == LibPartFileExtension && fs::is_regular_file(it->path(), ec))
            files.push_back(it->path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        const std::string path = standin::base::NormalisePath(file.string());
        if (std::any_of(parts_.begin(), parts_.end(), [&](const LibPart& p) { return p.file == path; }))
            continue;
        bool ok = false;
        const std::string text = ReadWholeFile(path, ok);
        LibPart part;
        std::string error;
        if (!ok || !ReadLibPartFile(text, part, error)) {
            if (std::find(unreadable_.begin(), unreadable_.end(), path) == unreadable_.end())
                unreadable_.push_back(path);
            continue;
        }
        part.folder = folder;
        part.file = path;
        parts_.push_back(std::move(part));
    }
}

void LibPartModule::IndexActiveParts()
{
    // Indices stay with their part once given, so placed elements keep naming it.
    for (auto& part : parts_)
        if (part.index == 0 && IsActiveFolder(part.folder))
            part.index = nextIndex_++;
}

std::optional<LibPart> LibPartModule::FindByName(const std::u16string& name) const
{
    for (const auto& part : parts_)
        if (part.name == name && part.index > 0 && IsActiveFolder(part.folder))
            return part;
    return std::nullopt;
}

std::optional<LibPart> LibPartModule::FindByName(const std::string& utf8Name) const
{
    return FindByName(standin::base::Decode(utf8Name.data(), utf8Name.size(), GS::CC_UTF8));
}

std::optional<LibPart> LibPartModule::FindByIndex(std::int32_t index) const
{
    const LibPart* part = ActivePart(index);
    return part != nullptr ? std::optional<LibPart>(*part) : std::nullopt;
}

const LibPart* LibPartModule::ActivePart(std::int32_t index) const
{
    if (index <= 0)
        return nullptr;
    for (const auto& part : parts_)
        if (part.index == index && IsActiveFolder(part.folder))
            return &part;
    return nullptr;
}

GSErrCode LibPartModule::Find(LibPartRecord* record, bool onlyPlaceable, bool onlyActive)
{
    if (onlyPlaceable || onlyActive)
        return ErrBadParameter;
    if (record == nullptr || !TerminatedWithin(record->name, NameUnits))
        return ErrBadRecord;
    // A record still holding a location would lose it when the host answers one.
    if (record->location != nullptr)
        return ErrBadRecord;
    const std::u16string name = records::FieldUnits(record->name, NameUnits);
    if (allNamesTaken_ && !name.empty()) {
        record->index = nextIndex_ + 1000000;
        return 0;
    }
    const auto part = FindByName(name);
    if (!part)
        return ErrNotFound;
    record->index = part->index;
    record->typeCode = part->typeCode;
    if (replaceLocations_)
        record->location = new IO::Location(part->file);
    return 0;
}

GSErrCode LibPartModule::SetOverwrite(bool overwrite)
{
    overwrite_ = overwrite;
    return 0;
}

GSErrCode LibPartModule::Begin(LibPartRecord* record)
{
    if (open_)
        return ErrWrongState;
    if (record == nullptr || !ValidTypeCode(record->typeCode))
        return ErrBadRecord;
    if (!TerminatedWithin(record->name, NameUnits) || !TerminatedWithin(record->fileName, NameUnits) ||
        !TerminatedWithin(record->parentId, ParentIdBytes))
        return ErrBadRecord;
    const std::u16string name = records::FieldUnits(record->name, NameUnits);
    if (name.empty() || name != records::FieldUnits(record->fileName, NameUnits))
        return ErrBadRecord;
    if (record->byte1033 != 0 || record->byte1034 != 1)
        return ErrBadRecord;
    IO::Location* location = record->location;
    if (location == nullptr || location->GetStatus() != 0 || location->IsEmpty())
        return ErrBadParameter;
    const fs::path folder(location->FileSystemPath());
    boost::system::error_code ec;
    if (!fs::is_directory(folder, ec))
        return ErrNotFound;
    // The file name never leaves the folder, whatever the name holds.
    const fs::path target = folder / LibPartFileName(name);
    if (fs::exists(target, ec) && !overwrite_)
        return ErrExists;
    OpenPartState state;
    state.part.typeCode = record->typeCode;
    state.part.name = name;
    state.part.parentId = record->parentId;
    state.part.folder = location->PathText();
    state.targetFile = standin::base::NormalisePath(target.string());
    open_ = std::move(state);
    return 0;
}

LibPartModule::ParamSection* LibPartModule::SectionOf(GSHandle handle)
{
    if (handle == nullptr || *handle == nullptr || BMGetHandleSize(handle) != 16 ||
        std::memcmp(*handle, kSectionTag, 8) != 0)
        return nullptr;
    std::uint64_t serial = 0;
    std::memcpy(&serial, *handle + 8, 8);
    auto it = sections_.find(serial);
    return it != sections_.end() ? &it->second : nullptr;
}

GSErrCode LibPartModule::BuildParams(LibPartRecord* record, GSHandle parameters, const double* a, const double* b,
                                     std::int32_t r1, GSHandle* section, std::int32_t r2)
{
    if (!open_)
        return ErrWrongState;
    if (record == nullptr || a == nullptr || b == nullptr || section == nullptr || r1 != 0 || r2 != 0)
        return ErrBadParameter;
    ParamSection built;
    built.a = *a;
    built.b = *b;
    if (const GSErrCode err = records::DecodeParameters(parameters, built.parameters); err != 0)
        return err;
    GSHandle handle = BMAllocateHandle(16, ALLOCATE_CLEAR, 0);
    if (handle == nullptr)
        return ErrMemory;
    const std::uint64_t serial = nextSection_++;
    std::memcpy(*handle, kSectionTag, 8);
    std::memcpy(*handle + 8, &serial, 8);
    sections_[serial] = std::move(built);
    *section = handle;
    return 0;
}

GSErrCode LibPartModule::SetDetails(LibPartRecord* record, GSHandle section, const ParamDetailsRecord* details)
{
    if (!open_)
        return ErrWrongState;
    ParamSection* built = SectionOf(section);
    if (record == nullptr || details == nullptr || built == nullptr)
        return ErrBadParameter;
    if (details->version != ParamDetailsVersion || details->count != 1 ||
        !records::ZeroOutside(details, sizeof *details, 0, 6))
        return ErrBadRecord;
    built->hasDetails = true;
    return 0;
}

GSErrCode LibPartModule::AddSection(const SectionHeader* header, GSHandle content, const void* reserved)
{
    if (!open_ || open_->sectionOpen)
        return ErrWrongState;
    if (header == nullptr || header->reserved[0] != 0 || header->reserved[1] != 0 || reserved != nullptr)
        return ErrBadRecord;
    LibPart& part = open_->part;
    if (header->code == SectParameters) {
        const ParamSection* built = SectionOf(content);
        if (built == nullptr || !built->hasDetails || part.hasParameters)
            return ErrBadParameter;
        part.hasParameters = true;
        part.a = built->a;
        part.b = built->b;
        part.parameters = built->parameters;
        return 0;
    }
    if (header->code != SectPreviewPicture && header->code != SectUIPicture)
        return ErrBadParameter;
    if (part.Section(header->code) != nullptr || content == nullptr || *content == nullptr)
        return ErrBadParameter;
    const GSSize size = BMGetHandleSize(content);
    static const char kMime[10] = {'i', 'm', 'a', 'g', 'e', '/', 'p', 'n', 'g', 0};
    if (size < 10 || std::memcmp(*content, kMime, 10) != 0)
        return ErrBadRecord;
    part.sections.push_back(PartSection{header->code, std::string(*content, static_cast<std::size_t>(size))});
    return 0;
}

GSErrCode LibPartModule::BeginSection(const SectionHeader* header)
{
    if (!open_ || open_->sectionOpen)
        return ErrWrongState;
    if (header == nullptr || header->reserved[0] != 0 || header->reserved[1] != 0)
        return ErrBadRecord;
    const std::uint32_t code = header->code;
    if (code != SectMasterScript && code != Sect2DScript && code != Sect3DScript && code != SectUIScript)
        return ErrBadParameter;
    if (open_->part.Section(code) != nullptr)
        return ErrBadParameter;
    open_->sectionOpen = true;
    open_->sectionCode = code;
    open_->sectionBytes.clear();
    return 0;
}

GSErrCode LibPartModule::WriteSection(std::int32_t count, const char* bytes)
{
    if (!open_ || !open_->sectionOpen)
        return ErrWrongState;
    if (count < 0 || (count > 0 && bytes == nullptr))
        return ErrBadParameter;
    open_->sectionBytes.append(bytes != nullptr ? bytes : "", static_cast<std::size_t>(count));
    return 0;
}

GSErrCode LibPartModule::EndSection()
{
    if (!open_ || !open_->sectionOpen)
        return ErrWrongState;
    open_->part.sections.push_back(PartSection{open_->sectionCode, std::move(open_->sectionBytes)});
    open_->sectionOpen = false;
    open_->sectionBytes.clear();
    return 0;
}

GSErrCode LibPartModule::Save(LibPartRecord* record)
{
    if (!open_)
        return ErrWrongState;
    if (record == nullptr)
        return ErrBadParameter;
    // The record saved is the one begun.
    if (!TerminatedWithin(record->name, NameUnits) || records::FieldUnits(record->name, NameUnits) != open_->part.name)
        return ErrBadRecord;
    OpenPartState state = std::move(*open_);
    open_.reset();
    LibPart& part = state.part;
    if (state.sectionOpen)
        part.sections.push_back(PartSection{state.sectionCode, std::move(state.sectionBytes)});
    part.file = state.targetFile;
    {
        const std::string temporary = state.targetFile + ".tmp";
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << WriteLibPartFile(part);
        out.close();
        boost::system::error_code ec;
        if (!out || (fs::rename(temporary, state.targetFile, ec), ec)) {
            fs::remove(temporary, ec);
            return ErrFile;
        }
    }
    auto existing = std::find_if(parts_.begin(), parts_.end(), [&](const LibPart& p) { return p.file == part.file; });
    if (existing != parts_.end()) {
        part.index = existing->index;
        *existing = part;
    } else {
        parts_.push_back(part);
    }
    IndexActiveParts();
    const auto saved = std::find_if(parts_.begin(), parts_.end(), [&](const LibPart& p) { return p.file == part.file; });
    record->index = IsActiveFolder(saved->folder) ? saved->index : 0;
    if (replaceLocations_)
        record->location = new IO::Location(saved->file);
    return 0;
}

GSErrCode LibPartModule::GetLibraries(LibraryList* list)
{
    if (list == nullptr)
        return ErrBadParameter;
    list->entries.clear();
    for (const auto& folder : active_) {
        LibraryEntry entry;
        entry.location.Set(folder.c_str());
        list->entries.push_back(entry);
    }
    return 0;
}

GSErrCode LibPartModule::SetLibraries(const LibraryList* list)
{
    if (list == nullptr)
        return ErrBadParameter;
    std::vector<std::string> folders;
    for (const auto& entry : list->entries) {
        if (entry.location.GetStatus() != 0 || entry.location.IsEmpty())
            return ErrBadParameter;
        folders.push_back(entry.location.PathText());
    }
    return SetActiveLibraries(folders);
}

}  // namespace standin

// The stand-in host's library-part store: the parts it knows with their sections,
// the active libraries, and saving. Parts are saved one readable file per part into
// their folder (see host/README.md, "Saved library parts") and read back from the
// active libraries when the host starts.
#pragma once

#include "HostRecords.hpp"
#include "standin/Host.hpp"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// One parameter of a library part or of a placed element, decoded from its record.
struct PartParameter {
    std::int32_t typeCode = HostInterface::ParamText;
    std::int16_t tableFlag = 0;
    std::int16_t flags = 0;
    std::string name;
    std::u16string description;
    double number = 0;
    std::u16string text;
    // A text table: rows x columns cells, row by row.
    std::int32_t rows = 0;
    std::int32_t columns = 0;
    std::vector<std::u16string> cells;

    bool IsTable() const { return tableFlag == HostInterface::ParamIsTable; }
    std::vector<std::vector<std::u16string>> Rows() const;
    friend bool operator==(const PartParameter&, const PartParameter&) = default;
};

struct PartSection {
    std::uint32_t code = 0;
    // Scripts: the text's bytes. Pictures: the handle's bytes ("image/png", 0, data).
    std::string bytes;
};

struct LibPart {
    std::int32_t index = 0;
    std::int32_t typeCode = 0;
    std::u16string name;
    std::string parentId;
    // The folder's path text and the saved file's file-system path.
    std::string folder;
    std::string file;
    bool hasParameters = false;
    double a = 0;
    double b = 0;
    std::vector<PartParameter> parameters;
    std::vector<PartSection> sections;

    const PartSection* Section(std::uint32_t code) const;
    // The script text of a section, empty when it is missing.
    std::string Script(std::uint32_t code) const;
    const PartParameter* Parameter(const std::string& name) const;
    std::string NameUtf8() const;
};

// The saved-file format of a library part.
std::string WriteLibPartFile(const LibPart& part);
// False with a reason when the text is not a saved library part.
bool ReadLibPartFile(const std::string& text, LibPart& part, std::string& error);
// The file name a part of this name is saved under: no separators, no folder steps.
std::string LibPartFileName(const std::u16string& name);
constexpr const char* LibPartFileExtension = ".lpart";

class LibPartModule : public HostModule {
public:
    explicit LibPartModule(Host& host);
    void Install(FunctionTable& table) override;

    // Active libraries as path texts, in order.
    std::vector<std::string> ActiveLibraries() const;
    // Replaces the active libraries and reads the parts saved in them.
    GSErrCode SetActiveLibraries(const std::vector<std::string>& folders);

    std::optional<LibPart> FindByName(const std::u16string& name) const;
    std::optional<LibPart> FindByName(const std::string& utf8Name) const;
    // Parts of the active libraries only.
    std::optional<LibPart> FindByIndex(std::int32_t index) const;
    std::vector<LibPart> Parts() const { return parts_; }
    std::vector<std::string> UnreadableFiles() const { return unreadable_; }
    bool PartOpen() const { return open_.has_value(); }
    bool SectionOpen() const { return open_ && open_->sectionOpen; }
    bool OverwriteMode() const { return overwrite_; }

    // The host puts location objects of its own into the records it answers (on by default).
    void SetReplaceLocations(bool replace) { replaceLocations_ = replace; }
    // Every name search finds a part (for the bound of name proposals).
    void SetAllNamesTaken(bool taken) { allNamesTaken_ = taken; }

    // For the other modules and the table operations.
    const LibPart* ActivePart(std::int32_t index) const;
    struct ParamSection {
        double a = 0;
        double b = 0;
        std::vector<PartParameter> parameters;
        bool hasDetails = false;
    };
    struct OpenPartState {
        LibPart part;
        std::string targetFile;
        bool sectionOpen = false;
        std::uint32_t sectionCode = 0;
        std::string sectionBytes;
    };

    // Searched by name with both flags false; other flags are refused.
    GSErrCode Find(HostInterface::LibPartRecord* record, bool onlyPlaceable, bool onlyActive);
    GSErrCode SetOverwrite(bool overwrite);
    GSErrCode Begin(HostInterface::LibPartRecord* record);
    GSErrCode BuildParams(HostInterface::LibPartRecord* record, GSHandle parameters, const double* a,
                          const double* b, std::int32_t r1, GSHandle* section, std::int32_t r2);
    GSErrCode SetDetails(HostInterface::LibPartRecord* record, GSHandle section,
                         const HostInterface::ParamDetailsRecord* details);
    GSErrCode AddSection(const HostInterface::SectionHeader* header, GSHandle content, const void* reserved);
    GSErrCode BeginSection(const HostInterface::SectionHeader* header);
    GSErrCode WriteSection(std::int32_t count, const char* bytes);
    GSErrCode EndSection();
    GSErrCode Save(HostInterface::LibPartRecord* record);
    GSErrCode GetLibraries(HostInterface::LibraryList* list);
    GSErrCode SetLibraries(const HostInterface::LibraryList* list);

private:
    bool IsActiveFolder(const std::string& folder) const;
    void ScanFolder(const std::string& folder);
    void IndexActiveParts();
    ParamSection* SectionOf(GSHandle handle);

    std::vector<std::string> active_;
    std::vector<LibPart> parts_;
    std::vector<std::string> unreadable_;
    std::int32_t nextIndex_ = 1;
    bool overwrite_ = false;
    bool replaceLocations_ = true;
    bool allNamesTaken_ = false;
    std::optional<OpenPartState> open_;
    std::map<std::uint64_t, ParamSection> sections_;
    std::uint64_t nextSection_ = 1;
};

}  // namespace standin

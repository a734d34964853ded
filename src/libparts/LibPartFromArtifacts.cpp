#include "libparts/LibPartFromArtifacts.hpp"

#include "Main/Globals.hpp"
#include "db/GdlGeneration.hpp"
#include "db/TarvelDB.hpp"
#include "libparts/LibPartNames.hpp"
#include "libparts/LibPartSpec.hpp"
#include "libparts/ProductDataSheet.hpp"
#include "libparts/ProductScripts.hpp"
#include "libparts/ToolDefaults.hpp"
#include "ostrel/Text.hpp"
#include "ostrel/interop/HostApi.hpp"
#include "ostrel/interop/Interop.hpp"

#include <boost/filesystem/operations.hpp>

#include <exception>

namespace tarvel {
namespace {

std::string DataSheetPath(const CatalogueArtifacts& artifacts)
{
    for (std::size_t i = 0; i < artifacts.fileTypes.size() && i < artifacts.localPaths.size(); ++i)
        if (artifacts.fileTypes[i] == kProductDataSheet)
            return artifacts.localPaths[i];
    return std::string();
}

void SwitchTool(std::int32_t libPartType, std::int32_t index)
{
    switch (libPartType) {
    case HostInterface::LibPartDoor:
        SelectDoorTool();
        SetToolDefaultLibPart(HostInterface::ElemDoor, index);
        break;
    case HostInterface::LibPartWindow:
        SelectWindowTool();
        SetToolDefaultLibPart(HostInterface::ElemWindow, index);
        break;
    case HostInterface::LibPartSkylight:
        SelectSkylightTool();
        SetToolDefaultLibPart(HostInterface::ElemSkylight, index);
        break;
    default:
        SelectObjectTool();
        SetToolDefaultLibPart(HostInterface::ElemObject, index);
        break;
    }
}

// The cause of a creation that failed on an exception, for the Session Report; the
// caller reports the failure itself.
void ReportCreationFailure(const char* text) noexcept
{
    try {
        HostApi_Report(GS::UniString(text != nullptr && *text != '\0' ? text : "Unknown exception", GS::CC_UTF8),
                       false);
    } catch (...) {
    }
}

std::int32_t Assemble(const std::string& cadPath, const std::string& previewPath, ProductPartData& data,
                      const std::wstring& name, bool modifyMode)
{
    TarvelDB database = TarvelDB::LoadFromFile(cadPath);
    // A file that was not read whole (its error and the database alert are reported)
    // would give a product with parts missing: no part is made of it.
    if (!database.valid)
        return 0;
    GdlWriter writer;
    GenerateGdlFromDatabase(database, writer);

    LibPartSpec spec;
    spec.name = name;
    spec.parentId = data.subtypeGid;

    const std::wstring special = ostrel::ac::interop::GetSpecialFolderPath();
    spec.location.Set(ostrel::WStringToUtf8(special + libraryFolder).c_str());
    if (spec.location.GetStatus() != 0) {
        spec.location.Clear();
        return 0;
    }
    IO::Folder folder(spec.location, IO::Folder::Ignore);
    if (folder.GetStatus() != 0 || !folder.IsWriteable()) {
        spec.location.Clear();
        return 0;
    }

    for (const auto& param : database.configParams)
        if (param != nullptr)
            data.configRows.push_back({param->name, param->value});

    if (IsOpeningSubtype(data.subtypeGid)) {
        spec.a = data.holeWidth;
        spec.b = data.holeHeight;
    }
    spec.SetMasterScript(MakeMasterScript(writer.GetMasterScript()));
    spec.Set2DScript(Make2DScript(data.subtypeGid));
    spec.Set3DScript(Make3DScript(data, writer.GetScript()));
    spec.SetPreviewPicturePath(previewPath);
    spec.SetUIPicturePath(ostrel::WStringToUtf8(special + imagesFolder) + "\\" + UIPictureFileName);
    AddProductParametersAndUI(spec, data);

    const std::int32_t index = spec.CreateLibraryPart();
    if (index >= 1 && !modifyMode)
        SwitchTool(spec.GetLibPartType(), index);
    return index;
}

}  // namespace

std::wstring MakeUniqueLibraryPartName(const CatalogueArtifacts& artifacts)
{
    std::wstring base = DefaultLibPartBaseName;
    const std::string sheet = DataSheetPath(artifacts);
    if (!sheet.empty())
        ReadProductAttrName(sheet, base);
    base = CleanLibPartName(std::move(base));
    if (base.empty())
        base = DefaultLibPartBaseName;
    return ProposeUniqueName(base);
}

std::int32_t CreateLibraryPartFromArtifacts(const CatalogueArtifacts& artifacts, const std::wstring& name,
                                            bool modifyMode, std::wstring baseUrl)
{
    std::string cadPath;
    std::string previewPath;
    std::string sheetPath;
    for (std::size_t i = 0; i < artifacts.fileTypes.size() && i < artifacts.localPaths.size(); ++i) {
        if (artifacts.fileTypes[i] == kCadFile) {
            cadPath = artifacts.localPaths[i];
            // A file name without a dot names no preview: an earlier one stays.
            if (std::string preview = PreviewPathFor(cadPath); !preview.empty())
                previewPath = std::move(preview);
        } else if (artifacts.fileTypes[i] == kProductDataSheet) {
            sheetPath = artifacts.localPaths[i];
        }
    }
    if (cadPath.empty())
        return 0;

    ProductPartData data;
    data.subtypeGid = DefaultSubtypeGid;
    data.baseUrl = std::move(baseUrl);
    std::wstring productAttrName = DefaultLibPartBaseName;
    if (!sheetPath.empty() &&
        !ParseProductDataSheet(sheetPath, productAttrName, data.subtypeGid, data.productId, data.productGroup,
                               data.modelFile, data.section, data.culture, data.holeType, data.holeWidth,
                               data.holeHeight, data.groups))
        return 0;

    if (IsOpeningSubtype(data.subtypeGid)) {
        data.holeWidth /= 1000;
        if (data.holeType == "CIRCLE" && data.holeWidth > 0.001)
            data.holeHeight = data.holeWidth;
        else
            data.holeHeight /= 1000;
    }

    try {
        // A file that vanished since the download is as unusable as a short one.
        boost::system::error_code ec;
        const auto size = boost::filesystem::file_size(ostrel::Utf8StringToPath(cadPath), ec);
        if (ec || size < 9)
            return 0;
        return Assemble(cadPath, previewPath, data, name, modifyMode);
    } catch (const std::exception& error) {
        ReportCreationFailure(error.what());
        return 0;
    } catch (...) {
        ReportCreationFailure(nullptr);
        return 0;
    }
}

}  // namespace tarvel

// The product data sheet of a downloaded product.
#include "FuzzSupport.hpp"

#include "libparts/ProductDataSheet.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tarvel::fuzz::StartHost();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path =
        tarvel::fuzz::WriteScratchFile("sheet.xml", std::string_view(reinterpret_cast<const char*>(data), size));
    std::wstring attrName, productId, productGroup, modelFile, section, culture;
    std::string subtype, holeType;
    double holeWidth = 0, holeHeight = 0;
    std::vector<tarvel::ParamGroup> groups;
    tarvel::ParseProductDataSheet(path, attrName, subtype, productId, productGroup, modelFile, section, culture,
                                  holeType, holeWidth, holeHeight, groups);
    std::wstring name = L"fallback";
    tarvel::ReadProductAttrName(path, name);
    tarvel::fuzz::ClearReport();
    return 0;
}

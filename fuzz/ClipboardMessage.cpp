// A clipboard text as the catalogue page leaves it: the markers, Base64 and the
// artifacts JSON, read the way the palette's watcher reads it. The callback request
// goes to the in-process proxy.
#include "FuzzSupport.hpp"

#include "standin/Win.hpp"
#include "transfer/Artifacts.hpp"
#include "transfer/ClipboardMessage.hpp"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tarvel::fuzz::StartHost();
    tarvel::fuzz::KeepTransfersInProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string payload;
    if (standin::win::SetClipboardBytes(text) && tarvel::ReadClipboardMessage(nullptr, payload)) {
        tarvel::CatalogueArtifacts artifacts;
        std::string catalogName;
        tarvel::ParseArtifactsMessage(tarvel::Base64Decode(payload), artifacts, catalogName);
    }
    // The JSON reader on its own too, without the Base64 around it.
    tarvel::CatalogueArtifacts artifacts;
    std::string catalogName;
    tarvel::ParseArtifactsMessage(text, artifacts, catalogName);
    // The codec: what is encoded decodes to itself.
    if (tarvel::Base64Decode(tarvel::Base64Encode(text)) != text)
        __builtin_trap();
    standin::win::ClearClipboard();
    tarvel::fuzz::ClearReport();
    return 0;
}

#include "TransferFixture.hpp"

#include <zip.h>

namespace tarvel::testing {

std::string MakeZip(const std::vector<std::pair<std::string, std::string>>& entries, bool store)
{
    TempDir dir;
    const std::string path = (dir.Path() / "made.zip").string();
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr)
        throw std::runtime_error("zipOpen64 failed");
    for (const auto& [name, bytes] : entries) {
        zip_fileinfo info{};
        if (zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  store ? 0 : Z_DEFLATED, store ? 0 : Z_DEFAULT_COMPRESSION, 1) != ZIP_OK ||
            zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) != ZIP_OK ||
            zipCloseFileInZip(zip) != ZIP_OK)
            throw std::runtime_error("zip entry failed");
    }
    zipClose(zip, nullptr);
    return ReadFile(path);
}

}  // namespace tarvel::testing

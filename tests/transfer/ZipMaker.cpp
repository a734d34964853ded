#include "TransferFixture.hpp"
#include "ZipMaker.hpp"

#include <zip.h>
#include <zlib.h>

#include <cstdio>

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

namespace tarvel::testing {
namespace {

void Put16(std::string& out, unsigned value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, unsigned long value)
{
    Put16(out, static_cast<unsigned>(value & 0xFFFF));
    Put16(out, static_cast<unsigned>((value >> 16) & 0xFFFF));
}

}  // namespace

std::string MakeOverlappingZip(int entries, std::size_t zeros)
{
    const std::string data(zeros, '\0');
    z_stream stream{};
    if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string packed(deflateBound(&stream, static_cast<uLong>(zeros)), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(zeros);
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    const unsigned long crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(zeros));

    // One local entry "000", then the directory: every entry at offset 0 with a name
    // of the same length, as the reader checks only that.
    std::string zip;
    Put32(zip, 0x04034b50);
    for (unsigned v : {20u, 0u, 8u, 0u, 0u})
        Put16(zip, v);
    Put32(zip, crc);
    Put32(zip, packed.size());
    Put32(zip, zeros);
    Put16(zip, 3);
    Put16(zip, 0);
    zip += "000";
    zip += packed;
    const std::size_t directory = zip.size();
    for (int i = 1; i <= entries; ++i) {
        Put32(zip, 0x02014b50);
        for (unsigned v : {20u, 20u, 0u, 8u, 0u, 0u})
            Put16(zip, v);
        Put32(zip, crc);
        Put32(zip, packed.size());
        Put32(zip, zeros);
        for (unsigned v : {3u, 0u, 0u, 0u, 0u})
            Put16(zip, v);
        Put32(zip, 0);
        Put32(zip, 0);
        char name[8];
        std::snprintf(name, sizeof name, "%03d", i % 1000);
        zip += name;
    }
    const std::size_t directorySize = zip.size() - directory;
    Put32(zip, 0x06054b50);
    Put16(zip, 0);
    Put16(zip, 0);
    Put16(zip, static_cast<unsigned>(entries));
    Put16(zip, static_cast<unsigned>(entries));
    Put32(zip, directorySize);
    Put32(zip, directory);
    Put16(zip, 0);
    return zip;
}

}  // namespace tarvel::testing

#include "transfer/Pictures.hpp"

#include "Main/Globals.hpp"
#include "ostrel/Text.hpp"
#include "transfer/Http.hpp"
#include "transfer/LocalNames.hpp"

#include <boost/filesystem/operations.hpp>

#include <array>
#include <cstdint>
#include <mutex>

namespace tarvel {
namespace {

std::streamoff Length(std::istream& stream)
{
    stream.seekg(0, std::ios::end);
    const std::streamoff length = stream.tellg();
    stream.seekg(0, std::ios::beg);
    return stream ? length : -1;
}

bool Exists(const boost::filesystem::path& path)
{
    boost::system::error_code error;
    return boost::filesystem::exists(path, error);
}

void RemoveQuietly(const boost::filesystem::path& path)
{
    boost::system::error_code ignored;
    boost::filesystem::remove(path, ignored);
}

}  // namespace

bool StreamsEqual(std::istream& first, std::istream& second)
{
    if (!first || !second)
        return false;
    const std::streamoff length = Length(first);
    if (length < 0 || length != Length(second))
        return false;
    std::array<char, 64 * 1024> a{}, b{};
    for (std::streamoff left = length; left > 0;) {
        const auto piece = static_cast<std::streamsize>(std::min<std::streamoff>(left, a.size()));
        if (!first.read(a.data(), piece) || !second.read(b.data(), piece) ||
            !std::equal(a.begin(), a.begin() + piece, b.begin()))
            return false;
        left -= piece;
    }
    return true;
}

std::wstring DownloadImage(const std::string& url)
{
    if (!IsHttpUrl(url))
        return L"";
    const std::wstring folder = FullDataPath(imagesFolder) + L"\\";
    auto pathOf = [&folder](const std::string& name) { return ostrel::WStringToPath(folder + ostrel::Utf8ToWString(name)); };
    const std::string urlName = LocalNameFromUrl(url);
    std::string name = urlName;
    std::ofstream out;
    {
        // Two threads fetching the same picture must not pick the same free name.
        std::lock_guard lock(DataFilesMutex());
        // "0" in front first, then the first character counts 1 to 9; every tenth step
        // makes the name longer, so the search ends.
        for (std::uint16_t k = 0; Exists(pathOf(name)); k = static_cast<std::uint16_t>(k == 9 ? 0 : k + 1)) {
            if (k == 0)
                name.insert(name.begin(), '0');
            else
                name[0] = static_cast<char>('0' + k);
        }
        out = ostrel::OpenOutputStream(pathOf(name));
    }
    if (!out.is_open())
        return L"";
    // Only a 2xx answer is a picture: a redirect's or an error's page is not.
    const bool fetched = FetchToStream(url, out, PictureBounds());
    out.close();
    if (!fetched || out.fail()) {
        // A broken picture would stand as the comparison base of every later download.
        RemoveQuietly(pathOf(name));
        return L"";
    }
    if (name != urlName) {
        bool equal = false;
        {
            std::ifstream fresh = ostrel::OpenInputStream(pathOf(name));
            std::ifstream known = ostrel::OpenInputStream(pathOf(urlName));
            equal = StreamsEqual(fresh, known);
        }
        if (equal) {
            RemoveQuietly(pathOf(name));
            name = urlName;
        }
    }
    return ostrel::Utf8ToWString(name);
}

}  // namespace tarvel

#include "standin/Win.hpp"
#include "standin/Base.hpp"

namespace standin::win {

std::string WideToUtf8(const wchar_t* text)
{
    if (text == nullptr)
        return {};
    std::u16string units;
    for (; *text != 0; ++text)
        units.push_back(*text > 0xFFFF ? u'\uFFFD' : static_cast<char16_t>(*text));
    return standin::base::EncodeUtf8(units);
}

}  // namespace standin::win

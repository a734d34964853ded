// Pictures from the repository (library logos) in the Images folder. A picture never
// overwrites a file there: it gets a free name, and when it equals the file that
// bears the URL's name it is dropped and that name is used.
#pragma once

#include <istream>
#include <string>

namespace tarvel {

// The name of the picture's file in the Images folder; "" when the URL is not http or
// https, the server answers anything but 2xx (an error, a redirect), the picture
// passes its size or time bound, or the transfer or the writing fails (the file is
// then removed again).
std::wstring DownloadImage(const std::string& url);

// True when both streams are readable, have the same length and hold the same bytes.
bool StreamsEqual(std::istream& first, std::istream& second);

}  // namespace tarvel

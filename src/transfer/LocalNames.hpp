// File names in the Temp folder taken from URLs, which come from any program that
// writes the clipboard.
#pragma once

#include <set>
#include <string>

namespace tarvel {

// The name made safe for a file: characters a file name cannot hold (control
// characters, < > : " / \ | ? *) and bytes that are not UTF-8 become "_"; an empty
// name, "." and ".." become "artifact". A safe name is returned unchanged.
std::string MakeSafeFileName(const std::string& name);

// The last element of the URL ("/" and "\" both separate; a query stays part of
// it), made safe.
std::string LocalNameFromUrl(const std::string& url);

// The name, or "name_2.ext", "name_3.ext", ... when it is among `used` (compared
// without regard to ASCII case); the result is added to `used`.
std::string MakeUniqueName(const std::string& name, std::set<std::string>& used);

}  // namespace tarvel

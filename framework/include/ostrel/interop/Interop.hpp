// The few host and system services the rest of the add-on reaches without their
// types: the special folder that roots the data folders, the add-on's own folder,
// the add-on's string lists and opening links. No state: each call asks the host.
#pragma once

#include "GSRoot.hpp"
#include "ostrel/Exceptions.hpp"

#include <cstdint>
#include <string>

namespace ostrel::ac::interop {

// The path of the host file system's special location 9. Throws GSException.
std::wstring GetSpecialFolderPath();
// The folder holding the add-on file. Throws GSException.
std::wstring GetAddOnFolderPath();
// The add-on folder's path, "/" and the name.
std::wstring GetAddOnFolderFilePath(const std::wstring& name);

// An entry of the add-on's string lists (indices from 1); empty when it does not exist.
std::wstring LoadResourceString(std::int16_t list, std::int16_t index);
std::string LoadResourceStringUtf8(std::int16_t list, std::int16_t index);

// Opens a web or mail link with the system's default handler. Only targets that begin
// with "http://", "https://" or "mailto:" (in any letter case) are opened; anything
// else opens nothing. True when the system took the link.
bool ShellOpen(const std::string& target);
bool IsOpenableLink(const std::string& target);

// Host strings and the add-on's wide strings hold the same UTF-16 units.
std::wstring ToWString(const GS::UniString& text);
GS::UniString ToUniString(const std::wstring& text);

}  // namespace ostrel::ac::interop

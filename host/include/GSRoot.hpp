// Stand-in for the host's base library: error codes, Unicode strings, GUIDs,
// the memory manager (pointers and handles) and byte-text helpers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

using GSErrCode = std::int32_t;
using GSResModule = std::int32_t;
using GSCharCode = std::int32_t;
using GSPtr = char*;
using GSHandle = char**;
using GSSize = std::int64_t;

constexpr GSErrCode NoError = 0;

namespace GS {

using uchar_t = char16_t;

// Character codes for 8-bit text: 0 is the host's default code (a Western code
// page, configurable in the stand-in), 99 is UTF-8.
constexpr GSCharCode CC_Default = 0;
constexpr GSCharCode CC_UTF8 = 99;

class UniString {
public:
    UniString() = default;
    UniString(const uchar_t* units, std::size_t length);
    explicit UniString(const uchar_t* zeroTerminated);
    UniString(const char* text, GSCharCode code = CC_Default);
    explicit UniString(std::u16string units) : units_(std::move(units)) {}

    const uchar_t* ToUStr() const { return units_.c_str(); }
    std::size_t GetLength() const { return units_.size(); }
    bool IsEmpty() const { return units_.empty(); }
    uchar_t operator[](std::size_t i) const { return units_[i]; }
    const std::u16string& Units() const { return units_; }

    UniString& Append(const UniString& other);
    UniString& operator+=(const UniString& other) { return Append(other); }

    // The text as UTF-8; malformed UTF-16 becomes U+FFFD.
    std::string ToUtf8() const;

    friend bool operator==(const UniString&, const UniString&) = default;

private:
    std::u16string units_;
};

// A GUID in the 16-byte Windows layout: the first three fields little-endian.
class Guid {
public:
    Guid() = default;
    // Text of the form "835C2B73-CBA4-4179-84BA-2D907BC7E3BA", braces optional.
    // A malformed text gives the null GUID.
    explicit Guid(const char* text);

    bool IsNull() const;
    const std::uint8_t* Bytes() const { return bytes_; }
    std::uint8_t* Bytes() { return bytes_; }
    // Upper-case text without braces.
    std::string ToString() const;

    friend bool operator==(const Guid&, const Guid&) = default;

private:
    std::uint8_t bytes_[16] = {};
};

}  // namespace GS

// Memory manager. Handles are pointers to a master pointer; sizes are tracked.
constexpr std::int32_t ALLOCATE_CLEAR = 2;

GSPtr BMAllocatePtr(GSSize size, std::int32_t flags, std::int32_t reserved);
GSSize BMGetPtrSize(GSPtr ptr);
void BMKillPtr(GSPtr* ptr);
GSHandle BMAllocateHandle(GSSize size, std::int32_t flags, std::int32_t reserved);
GSSize BMGetHandleSize(GSHandle handle);
// Changes the size keeping the content; new bytes are zero. Null on failure.
GSHandle BMReallocHandle(GSHandle handle, GSSize newSize, std::int32_t flags, std::int32_t reserved);
void BMKillHandle(GSHandle* handle);
void BNCopyMemory(void* destination, const void* source, GSSize count);

// Copies at most size - 1 bytes of a zero-terminated text and always terminates.
void CHTruncate(const char* source, char* destination, GSSize size, GSCharCode code = GS::CC_Default);
// 0 when the two zero-terminated byte texts are equal (case mode 0: case-sensitive).
std::int32_t CHCompareTexts(const char* a, const char* b, std::int32_t caseMode = 0,
                            GSCharCode code = GS::CC_Default);

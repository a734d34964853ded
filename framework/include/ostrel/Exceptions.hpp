// The framework's exception family. All fix their what() text when built.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace ostrel {

class OstrelException : public std::runtime_error {
public:
    explicit OstrelException(const char* message) : std::runtime_error(message) {}
    explicit OstrelException(const std::string& message) : std::runtime_error(message) {}
};

// A file that did not open; built from its path as UTF-8.
class FileNotFoundException : public OstrelException {
public:
    explicit FileNotFoundException(const std::string& utf8Path) : OstrelException("File not found: " + utf8Path) {}
};

namespace ac::interop {

// A host call that answered a non-zero error code. The code stays out of the text.
class GSException : public OstrelException {
public:
    explicit GSException(std::int32_t code) : OstrelException("Error in GS call!"), code_(code) {}
    std::int32_t Code() const { return code_; }

private:
    std::int32_t code_;
};

}  // namespace ac::interop

}  // namespace ostrel

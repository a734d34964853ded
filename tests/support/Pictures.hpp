// Picture files for tests: PNG files of one colour and JPEG bytes, made with the
// same libraries the stand-in decodes with.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel::testing {

// A width x height PNG file of one colour (0xAARRGGBB, not premultiplied).
void WritePngFile(const std::string& path, int width, int height, std::uint32_t argb = 0xFF2060C0);
std::string PngBytes(int width, int height, std::uint32_t argb = 0xFF2060C0);
// A width x height JPEG of one colour (0xRRGGBB).
std::string JpegBytes(int width, int height, std::uint32_t rgb = 0xC04020);

}  // namespace tarvel::testing

// Picture files for tests: PNG files of one colour and JPEG bytes, made with the
// same libraries the stand-in decodes with; and what a panel's picture shows.
#pragma once

#include "standin/Dialogs.hpp"

#include <cstdint>
#include <string>

namespace tarvel::testing {

// A width x height PNG file of one colour (0xAARRGGBB, not premultiplied).
void WritePngFile(const std::string& path, int width, int height, std::uint32_t argb = 0xFF2060C0);
std::string PngBytes(int width, int height, std::uint32_t argb = 0xFF2060C0);
// A width x height JPEG of one colour (0xRRGGBB).
std::string JpegBytes(int width, int height, std::uint32_t rgb = 0xC04020);

// The largest difference of a colour channel between the picture and the image laid
// over the background colour (0xRRGGBB) with the opacity, the image's corner at
// (x, y) of the picture.
int OverlayDifference(const standin::dg::Picture& picture, int x, int y, const standin::dg::Picture& image,
                      std::uint32_t background, double opacity = 1.0);
// The pixels of the rectangle (x, y of the picture) whose blue is below half: text
// and lines on the light backgrounds of dialogs.
int DarkPixels(const standin::dg::Picture& picture, int x, int y, int width, int height);

}  // namespace tarvel::testing

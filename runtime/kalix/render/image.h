#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kalix {

// Pixels 0xAARRGGBB, rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Writes a 32-bit bottom-up Windows bitmap file. False with a reason.
bool WriteBmp(const std::string& path, const uint32_t* pixels, int width, int height, int stride,
              std::string* why);
// Reads an uncompressed 24- or 32-bit bitmap file (either row order). False with a reason; never
// reads outside the file's data whatever its header claims.
bool ReadBmp(const std::string& path, Image* image, std::string* why);
bool DecodeBmp(const uint8_t* data, size_t size, Image* image, std::string* why);

}  // namespace kalix

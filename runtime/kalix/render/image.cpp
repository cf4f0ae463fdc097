#include "image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

namespace kalix {

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr uint32_t kRgb = 0;        // BI_RGB: uncompressed
constexpr uint32_t kBitFields = 3;  // BI_BITFIELDS: accepted with the usual 32-bit masks
constexpr size_t kMaxFileBytes = size_t(1) << 30;

bool Fail(std::string* why, const std::string& text) {
    if (why) *why = text;
    return false;
}

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
int32_t I32(const uint8_t* p) {
    const uint32_t u = U32(p);
    int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

bool WriteBmp(const std::string& path, const uint32_t* pixels, int width, int height, int stride,
              std::string* why) {
    if (width <= 0 || height <= 0) return Fail(why, "the image is empty");
    if (!pixels || stride < width) return Fail(why, "no pixels or a stride below the width");
    const uint64_t pixelBytes = uint64_t(width) * uint64_t(height) * 4;
    const uint64_t fileBytes = kFileHeader + kInfoHeader + pixelBytes;
    if (fileBytes > std::numeric_limits<uint32_t>::max() / 2)
        return Fail(why, "the image is too large for a bitmap file");

    std::vector<uint8_t> data(static_cast<size_t>(fileBytes));
    uint8_t* h = data.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, static_cast<uint32_t>(fileBytes));
    Put32(h + 10, kFileHeader + kInfoHeader);
    Put32(h + 14, kInfoHeader);
    Put32(h + 18, static_cast<uint32_t>(width));
    Put32(h + 22, static_cast<uint32_t>(height));  // positive: rows bottom to top
    Put16(h + 26, 1);
    Put16(h + 28, 32);
    Put32(h + 30, kRgb);
    Put32(h + 34, static_cast<uint32_t>(pixelBytes));
    Put32(h + 38, 2835);  // 72 dots per inch
    Put32(h + 42, 2835);
    uint8_t* out = h + kFileHeader + kInfoHeader;
    for (int y = height - 1; y >= 0; --y) {
        const uint32_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x, out += 4) Put32(out, row[x]);  // B, G, R, A
    }

    // The whole file goes to a temporary name first, so a reader never sees half a frame.
    const std::string temp = path + ".part";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return Fail(why, "cannot create " + temp + " (" + std::strerror(errno) + ")");
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const int writeError = errno;
    if (std::fclose(f) != 0 || !written) {
        const int error = written ? errno : writeError;
        std::remove(temp.c_str());
        return Fail(why, "cannot write " + temp + " (" + std::strerror(error) + ")");
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        std::remove(temp.c_str());
        return Fail(why,
                    "cannot rename " + temp + " to " + path + " (" + std::strerror(error) + ")");
    }
    return true;
}

bool DecodeBmp(const uint8_t* data, size_t size, Image* image, std::string* why) {
    if (!data || size < kFileHeader + kInfoHeader) return Fail(why, "too short for a bitmap");
    if (data[0] != 'B' || data[1] != 'M') return Fail(why, "not a bitmap file");
    const uint32_t fileSize = U32(data + 2);
    const uint32_t offset = U32(data + 10);
    const uint32_t infoSize = U32(data + 14);
    const int32_t width = I32(data + 18);
    const int32_t height = I32(data + 22);
    const uint16_t planes = U16(data + 26);
    const uint16_t bits = U16(data + 28);
    const uint32_t compression = U32(data + 30);
    const uint32_t imageSize = U32(data + 34);

    if (fileSize > size) return Fail(why, "the file is shorter than its header says");
    if (infoSize < kInfoHeader || infoSize > size - kFileHeader)
        return Fail(why, "bad info header size");
    if (offset < kFileHeader + infoSize || offset > size) return Fail(why, "bad pixel data offset");
    if (planes != 1) return Fail(why, "bad plane count");
    if (bits != 24 && bits != 32) return Fail(why, "only 24- and 32-bit bitmaps are read");
    if (compression == kBitFields) {
        // The masks follow the 40-byte header (or sit inside a longer one) at the same place.
        if (bits != 32 || size < kFileHeader + kInfoHeader + 12 || U32(data + 54) != 0x00FF0000 ||
            U32(data + 58) != 0x0000FF00 || U32(data + 62) != 0x000000FF)
            return Fail(why, "unsupported bit fields");
        if (infoSize == kInfoHeader && offset < kFileHeader + kInfoHeader + 12)
            return Fail(why, "bad pixel data offset");
    } else if (compression != kRgb) {
        return Fail(why, "compressed bitmaps are not read");
    }
    if (width <= 0 || height == 0 || height == std::numeric_limits<int32_t>::min())
        return Fail(why, "bad image size");

    const bool topDown = height < 0;
    const uint64_t rows = topDown ? uint64_t(-int64_t(height)) : uint64_t(height);
    const uint64_t rowBytes = (uint64_t(width) * bits + 31) / 32 * 4;
    const uint64_t available = size - offset;
    if (imageSize > available) return Fail(why, "the pixel data is shorter than its header says");
    if (rowBytes > available || rows > available / rowBytes)
        return Fail(why, "the pixel data is shorter than the image size needs");

    Image decoded;
    decoded.width = width;
    decoded.height = static_cast<int>(rows);
    decoded.pixels.resize(static_cast<size_t>(uint64_t(width) * rows));
    const size_t step = bits / 8;
    bool anyAlpha = false;
    for (uint64_t y = 0; y < rows; ++y) {
        const uint64_t fileRow = topDown ? y : rows - 1 - y;
        const uint8_t* in = data + offset + fileRow * rowBytes;
        uint32_t* out = decoded.pixels.data() + y * uint64_t(width);
        for (int32_t x = 0; x < width; ++x, in += step) {
            const uint32_t alpha = bits == 32 ? in[3] : 0xFF;
            anyAlpha = anyAlpha || alpha != 0;
            out[x] = alpha << 24 | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
        }
    }
    // Most 32-bit files leave the fourth byte at zero: such images are opaque, not invisible.
    if (!anyAlpha) {
        for (uint32_t& p : decoded.pixels) p |= 0xFF000000u;
    }
    if (image) *image = std::move(decoded);
    return true;
}

bool ReadBmp(const std::string& path, Image* image, std::string* why) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Fail(why, "cannot open " + path + " (" + std::strerror(errno) + ")");
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (data.size() + got > kMaxFileBytes) {
            std::fclose(f);
            return Fail(why, path + " is too large");
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return Fail(why, "cannot read " + path);
    if (!DecodeBmp(data.data(), data.size(), image, why)) {
        if (why) *why = path + ": " + *why;
        return false;
    }
    return true;
}

}  // namespace kalix

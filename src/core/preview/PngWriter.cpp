#include "preview/PngWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
constexpr uint8_t kBitDepth = 8;
constexpr uint8_t kColourTypeRgb = 2;
constexpr uint8_t kFilterNone = 0;
constexpr size_t kBytesPerPixel = 3;

void AppendBigEndian(std::string& out, uint32_t value) {
    out += static_cast<char>(value >> 24);
    out += static_cast<char>(value >> 16);
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}

// A chunk: its length, its type and data, and the CRC of the two.
void AppendChunk(std::string& out, std::string_view type, std::string_view data) {
    AppendBigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.append(type);
    out.append(data);
    const auto* checked = reinterpret_cast<const Bytef*>(out.data() + typeAt);
    AppendBigEndian(out, static_cast<uint32_t>(
                             crc32(0, checked, static_cast<uInt>(type.size() + data.size()))));
}

std::string Deflated(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(size, '\0');
    const int result =
        compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(raw.data()), raw.size(), Z_DEFAULT_COMPRESSION);
    if (result == Z_MEM_ERROR) {
        throw std::bad_alloc();
    }
    if (result != Z_OK) {
        throw std::invalid_argument("zlib refused the frame: " + std::to_string(result));
    }
    packed.resize(size);
    return packed;
}

}  // namespace

std::string EncodePng(const FramePixels& frame) {
    const auto width = static_cast<size_t>(std::max(frame.area.width, 0));
    const auto height = static_cast<size_t>(std::max(frame.area.height, 0));
    if (width == 0 || height == 0 || frame.argb.size() < width * height) {
        throw std::invalid_argument("a PNG needs an area with a pixel for each of its points");
    }
    std::string rows;
    rows.reserve(height * (1 + width * kBytesPerPixel));
    for (size_t y = 0; y < height; ++y) {
        rows += static_cast<char>(kFilterNone);
        for (size_t x = 0; x < width; ++x) {
            const uint32_t pixel = frame.argb[y * width + x];
            rows += static_cast<char>(pixel >> 16);
            rows += static_cast<char>(pixel >> 8);
            rows += static_cast<char>(pixel);
        }
    }

    std::string header;
    AppendBigEndian(header, static_cast<uint32_t>(width));
    AppendBigEndian(header, static_cast<uint32_t>(height));
    header += static_cast<char>(kBitDepth);
    header += static_cast<char>(kColourTypeRgb);
    header.append(3, '\0');  // deflate, adaptive filtering, no interlace: PNG's only methods

    std::string png(kSignature);
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", Deflated(rows));
    AppendChunk(png, "IEND", {});
    return png;
}

#include "model/png_file.h"

#include <cstring>
#include <vector>

#include <png.h>

#include "common/files.h"

namespace {

// A PNG file's bytes in memory, read in order.
struct PngBytes {
    const std::string* bytes;
    size_t at = 0;
};

void writeToString(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

void readFromBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* in = static_cast<PngBytes*>(png_get_io_ptr(png));
    if (in->bytes->size() - in->at < length) png_error(png, "the file ends early");
    memcpy(data, in->bytes->data() + in->at, length);
    in->at += length;
}

// libpng reports errors by longjmp; the message is kept for the caller.
void onPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error != nullptr) *error = message;
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Everything that may longjmp is in here, with no C++ object alive whose
// destructor the jump would skip.
bool encode(std::string& out, const Image& image, png_bytep* rows, std::string& error) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        error = "libpng cannot start";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, writeToString, flushNothing);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool decode(PngBytes& in, Image& image, std::vector<png_bytep>& rows, std::string& error) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, onPngError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        error = "libpng cannot start";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &in, readFromBytes);
    // A frame is at most a few screens; a header claiming more is damage.
    png_set_user_limits(png, maxPngSide, maxPngSide);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.width = int(png_get_image_width(png, info));
    image.height = int(png_get_image_height(png, info));
    image.rgb.assign(size_t(image.width) * size_t(image.height) * 3, 0);
    rows.resize(size_t(image.height));
    for (size_t y = 0; y < rows.size(); ++y) rows[y] = image.rgb.data() + y * size_t(image.width) * 3;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

bool writePng(const std::string& path, const Image& image, std::string& error) {
    std::vector<png_bytep> rows(size_t(image.height));
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = const_cast<png_bytep>(image.rgb.data() + y * size_t(image.width) * 3);
    std::string bytes;
    if (!encode(bytes, image, rows.data(), error)) {
        error = "cannot encode " + path + " as PNG: " + error;
        return false;
    }
    return writeWholeFile(path, bytes, error);
}

bool readPng(const std::string& path, Image& image, std::string& error) {
    const FileText file = readRegularFile(path, maxPngFileBytes);
    if (!file.ok()) {
        error = "cannot read " + path + ": " + file.error;
        return false;
    }
    PngBytes in{&file.text};
    std::vector<png_bytep> rows;
    if (decode(in, image, rows, error)) return true;
    error = path + " is not a readable PNG: " + error;
    image = Image{};
    return false;
}

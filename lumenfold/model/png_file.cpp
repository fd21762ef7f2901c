#include "model/png_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>

namespace {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) fclose(f);
    }
};
using File = std::unique_ptr<FILE, FileCloser>;

// libpng reports errors by longjmp; the message is kept for the caller.
void onPngError(png_structp png, png_const_charp message) {
    auto* error = static_cast<std::string*>(png_get_error_ptr(png));
    if (error != nullptr) *error = message;
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Everything that may longjmp is in here, with no C++ object alive whose
// destructor the jump would skip.
bool encode(FILE* out, const Image& image, png_bytep* rows, std::string& error) {
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
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool decode(FILE* in, Image& image, std::vector<png_bytep>& rows, std::string& error) {
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
    png_init_io(png, in);
    // A frame is at most a few screens; a header claiming more is damage.
    png_set_user_limits(png, 16384, 16384);
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
    const std::string partial = path + ".partial";
    File out(fopen(partial.c_str(), "wb"));
    if (!out) {
        error = "cannot create " + partial + ": " + strerror(errno);
        return false;
    }
    std::vector<png_bytep> rows(size_t(image.height));
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = const_cast<png_bytep>(image.rgb.data() + y * size_t(image.width) * 3);
    bool ok = encode(out.get(), image, rows.data(), error);
    if (ok && fflush(out.get()) != 0) {
        error = "cannot write " + partial + ": " + strerror(errno);
        ok = false;
    }
    if (fclose(out.release()) != 0 && ok) {
        error = "cannot write " + partial + ": " + strerror(errno);
        ok = false;
    }
    if (ok && rename(partial.c_str(), path.c_str()) != 0) {
        error = "cannot move " + partial + " to " + path + ": " + strerror(errno);
        ok = false;
    }
    if (!ok) remove(partial.c_str());
    return ok;
}

bool readPng(const std::string& path, Image& image, std::string& error) {
    File in(fopen(path.c_str(), "rb"));
    if (!in) {
        error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    std::vector<png_bytep> rows;
    if (decode(in.get(), image, rows, error)) return true;
    error = path + " is not a readable PNG: " + error;
    image = Image{};
    return false;
}

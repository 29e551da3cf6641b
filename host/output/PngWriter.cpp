#include "output/PngWriter.h"

#include <png.h>

#include <csetjmp>

#include "cli/HostError.h"
#include "output/OutputFile.h"

RgbImage MakeImage(int width, int height) {
  RgbImage theImage;
  theImage.width = width;
  theImage.height = height;
  theImage.pixels.assign(size_t(width) * size_t(height) * 3, 0);
  return theImage;
}

namespace {

// libpng reports errors by longjmp, so this function holds no object with a
// destructor.
bool EncodePng(FILE* stream, const RgbImage* theImage, const uint8_t** rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, stream);
  // Measured on 640x360 frames of 200,000 particles: zlib level 2 without
  // row filters encodes in a quarter of the time of level 6 with libpng's
  // adaptive filters, for files about 7% larger.
  png_set_compression_level(png, 2);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_IHDR(png, info, png_uint_32(theImage->width), png_uint_32(theImage->height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_rows(png, const_cast<png_bytepp>(rows), png_uint_32(theImage->height));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

void WritePng(const std::string& thePath, const RgbImage& theImage) {
  std::vector<const uint8_t*> rows(size_t(theImage.height));
  for (int y = 0; y < theImage.height; ++y)
    rows[size_t(y)] = theImage.pixels.data() + size_t(y) * size_t(theImage.width) * 3;
  OutputFile theFile = BeginOutputFile(thePath);
  if (!EncodePng(theFile.stream, &theImage, rows.data())) {
    AbandonOutputFile(theFile);
    throw UsageError(thePath + ": cannot encode the PNG image");
  }
  CommitOutputFile(theFile);
}

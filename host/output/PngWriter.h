// 8-bit RGB images and their PNG files (through libpng).
#ifndef PLMHOST_PNGWRITER_H
#define PLMHOST_PNGWRITER_H

#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // rows top to bottom, 3 bytes a pixel
};

RgbImage MakeImage(int width, int height);
// Written atomically; throws a usage error when the file cannot be written.
void WritePng(const std::string& thePath, const RgbImage& theImage);

#endif

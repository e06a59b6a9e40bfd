// The backing of a window written as an RGB PNG (the first byte of each pixel is
// not alpha in a window's backing, so none is written).

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

bool AKWritePNG(const std::string& path, const void* pixels, int width, int height, int rowBytes)
{
  if (!pixels || width <= 0 || height <= 0) return false;
  // Written beside the target and renamed, so no half-written image is ever left.
  const std::string temp = path + ".part";
  FILE* f = fopen(temp.c_str(), "wb");
  if (!f)
  {
    fprintf(stderr, "appkit: cannot write %s\n", path.c_str());
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    remove(temp.c_str());
    fprintf(stderr, "appkit: cannot encode %s\n", path.c_str());
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<unsigned char> row((size_t)width * 3);
  for (int y = 0; y < height; ++y)
  {
    const unsigned char* src = (const unsigned char*)pixels + (size_t)y * (size_t)rowBytes;
    for (int x = 0; x < width; ++x)
    {
      row[(size_t)x * 3 + 0] = src[x * 4 + 1];
      row[(size_t)x * 3 + 1] = src[x * 4 + 2];
      row[(size_t)x * 3 + 2] = src[x * 4 + 3];
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  const bool ok = fclose(f) == 0 && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok)
  {
    remove(temp.c_str());
    fprintf(stderr, "appkit: cannot finish %s\n", path.c_str());
  }
  return ok;
}

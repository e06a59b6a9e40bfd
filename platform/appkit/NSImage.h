#pragma once
// Images: pixels in memory, read from PNG files and from icon files (.ico, the
// first image: PNG inside, or a 32- or 24-bit bitmap with its mask).

#include "platform/appkit/Foundation.h"

#include <cstdint>
#include <string>
#include <vector>

class NSImage : public NSObject
{
public:
  // Null (with nothing kept) when the file cannot be read as an image.
  static NSImage* imageWithContentsOfFile(const std::string& path);  // retained, as initWithContentsOfFile:
  // The kit has no named images of its own: null unless one was registered.
  static NSImage* imageNamed(const std::string& name);
  // Pixels 0xAARRGGBB, rows top-down.
  NSImage(int width, int height, std::vector<uint32_t> pixels);

  NSSize size() const { return NSMakeSize(mWidth, mHeight); }
  int width() const { return mWidth; }
  int height() const { return mHeight; }
  const std::vector<uint32_t>& pixels() const { return mPixels; }
  // Draws the whole image scaled into the rectangle of the current context, over
  // what is there (source over, by each pixel's alpha); rows top-down in a
  // flipped view.
  void drawInRect(NSRect rect) const;
  // Kept for callers that say how the image is drawn; the pixels stay top-down.
  void setFlipped(bool flipped) { mFlipped = flipped; }
  bool isFlipped() const { return mFlipped; }

private:
  int mWidth, mHeight;
  std::vector<uint32_t> mPixels;
  bool mFlipped = false;
};

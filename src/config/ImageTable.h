#pragma once
// The editor's images: the symbolic names the configuration uses, the resource id
// each bitmap is cached under, and how its frames lie.

#include <vector>

struct ImageInfo
{
  int resourceId = 0;
  int frameCount = 1;
  bool framesAreHorizontal = true;  // false: frames stacked top to bottom
};

struct ImageTableRow
{
  int id;
  const char* name;
  const char* path;
  int frames;
  bool framesAreHorizontal;
};

// The images in load order: 50 rows for every skin, the 7 backgrounds of layers
// that come and go, then the main background of the skin (0 the normal skin, any
// other value the black one), 58 in all.
std::vector<ImageTableRow> editorImages(int skin);

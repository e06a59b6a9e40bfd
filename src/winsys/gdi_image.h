#pragma once
// Bitmap and icon objects (GDI objects of type SWELL_GDI_BITMAP) with their images,
// image lists, and drawing an image into a context.
//
// The image stands for the platform's image object: straight-alpha pixels of the
// raster library (bytes A, R, G, B) and a size in points, which may be fractional.
// Threads: as the GDI objects (any thread; one object used by one thread at a time).

#include "base/ptrlist.h"
#include "winsys/gdi.h"

class LICE_IBitmap;

struct SWELL_Image
{
  LICE_IBitmap* pixels;  // owned
  double width, height;  // size in points
  bool flipped;          // rows drawn top-down in an unflipped context
  int refs;
};

// A w x h image of zeroed (transparent) pixels, one reference; null for a size
// below 1 or when memory runs out.
SWELL_Image* SWELL_CreateImage(int w, int h);
SWELL_Image* SWELL_RetainImage(SWELL_Image* image);
void SWELL_ReleaseImage(SWELL_Image* image);

// A bitmap object owning the reference of image it is given (released on failure).
HGDIOBJ SWELL_MakeBitmapObject(SWELL_Image* image);

struct BITMAP
{
  int32_t bmWidth, bmHeight;
};

struct ICONINFO
{
  BOOL fIcon;
  int32_t xHotspot, yHotspot;
  HGDIOBJ hbmMask;
  HGDIOBJ hbmColor;
};

// w x h pixels from bits: rows of w pixels, no padding between them; 32 bits a
// pixel read as bytes A, R, G, B, 24 bits as R, G, B (opaque). Only as many bytes
// as that are read. Null for other depths, planar data (planes above 1), an empty
// size, null bits or when memory runs out.
HGDIOBJ CreateBitmap(int w, int h, int planes, int bitsPerPixel, const void* bits);
// A new bitmap object sharing the colour bitmap's image; null unless fIcon is set
// and hbmColor is a live bitmap object with an image.
HGDIOBJ CreateIconIndirect(const ICONINFO* info);
// A bitmap object owning the image of a PNG file: a name holding '/' is a path; a
// bare name, or a path that does not load, names an image of the application, the
// file of that name (".png" added when it has no extension) in the resources
// folder of the bundle holding this code. Null when nothing loads. With
// magentaIsTransparent, pure magenta pixels become transparent.
HGDIOBJ LoadNamedImage(const char* name, bool magentaIsTransparent);
// Zeroes size bytes of out; for size 8 (a BITMAP) and a bitmap object with an image
// fills the image size rounded to whole pixels and returns 1; else 0.
int GetObject(HGDIOBJ obj, int size, void* out);
SWELL_Image* GetNSImageFromHICON(HGDIOBJ obj);
// Draws the whole image scaled (nearest pixel) into the rectangle, composited over
// what is there by the image's alpha.
void DrawImageInRect(HDC ctx, HGDIOBJ obj, const RECT* r);
// The same for an image itself.
void SWELL_DrawImageInRect(HDC ctx, SWELL_Image* image, const RECT* r);

// One bitmap object a slot; a removed slot holds null.
typedef WDL_PtrList<HGDIOBJ__>* HIMAGELIST;
HIMAGELIST ImageList_CreateEx();
// Stores a new object sharing the icon's image at index (replacing that slot) or,
// for an index outside the list, at the end. The index used, or -1.
int ImageList_ReplaceIcon(HIMAGELIST list, int index, HGDIOBJ icon);
// index >= count: 0. index < 0: deletes every object and empties the list, 1.
// Otherwise the slot becomes null (later indexes keep theirs), 1.
int ImageList_Remove(HIMAGELIST list, int index);
void ImageList_Destroy(HIMAGELIST list);

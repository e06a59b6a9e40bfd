#pragma once
// The raster library: 32-bit bitmaps and everything drawn on them.
//
// Every operation takes the destination first and reports nothing: a null bitmap,
// a bitmap without pixels, an empty or fully clipped area, a weight of 0 or a mode
// outside the table does nothing, and a read returns 0. The float alpha becomes the
// integer weight alpha x 256, truncated (0 draws nothing, 256 is opaque); weights
// beyond -1024..1024 are taken as those limits. Nothing here locks: callers draw a
// bitmap from one thread at a time.

#include "raster/lice_bitmap.h"
#include "raster/lice_pixel.h"
#include "winsys/gdi.h"

// Combining single pixels.
LICE_PixelValue LICE_CombinePixels(LICE_PixelValue dest, LICE_PixelValue src, float alpha, int mode);
void LICE_CombinePixels2(LICE_PixelValue* dest, int r, int g, int b, int a, int alpha, int mode);
// As above for channel values outside 0..255; copy, clobber and multiply results are clamped.
void LICE_CombinePixels2Clamp(LICE_PixelValue* dest, int r, int g, int b, int a, int alpha, int mode);

// Copy, blit, gradient and blur.
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect, float alpha,
               int mode);
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch,
               float alpha, int mode);
void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src);
void LICE_GradRect(LICE_IBitmap* dest, int dstx, int dsty, int dstw, int dsth, float ir, float ig, float ib,
                   float ia, float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy,
                   float dady, int mode);
void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch);

// Rectangle fills and pixel access.
void LICE_Clear(LICE_IBitmap* dest, LICE_PixelValue color);
void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue color, float alpha, int mode);
void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue mask, LICE_PixelValue orbits);
void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc, float bsc,
                          float asc, float radd, float gadd, float badd, float aadd);
void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h,
                      void (*procFunc)(LICE_PixelValue* pixel, void* parm), void* parm);
LICE_PixelValue LICE_GetPixel(LICE_IBitmap* bmp, int x, int y);
void LICE_PutPixel(LICE_IBitmap* bmp, int x, int y, LICE_PixelValue color, float alpha, int mode);

// Stretched drawing of the source rectangle onto the destination rectangle; negative
// destination sizes mirror.
void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                     float srcy, float srcw, float srch, float alpha, int mode);

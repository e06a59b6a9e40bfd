// Lines, outlines, polygon fills, circles and arcs, curves, warped blits,
// glyphs and the small whole-bitmap operations. Every operation draws into the
// destination bitmap given first and reports nothing: a null bitmap, a bitmap
// without pixels, non-finite coordinates, a zero weight or an unknown mode draw
// nothing.
#pragma once

#include "raster/lice.h"

// Lines
void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_PixelValue color,
               float alpha, int mode, bool aa);
void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_PixelValue color,
                float alpha, int mode, bool aa);
void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff,
                     LICE_PixelValue color, float alpha, int mode, bool aa);
bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi);
bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi,
                    float yhi);

// Rectangle outlines and polygon fills
void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue color,
                   float alpha, int mode);
void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue bgcolor,
                       LICE_PixelValue fgcolor, float alpha, int mode);
void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2,
                        LICE_PixelValue color, float alpha, int mode);
void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints,
                            LICE_PixelValue color, float alpha, int mode);
void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                       LICE_PixelValue color, float alpha, int mode);

// Circles, arcs and rounded rectangles
void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_PixelValue color,
                 float alpha, int mode, bool aa);
void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_PixelValue color,
                     float alpha, int mode, bool aa);
void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
              LICE_PixelValue color, float alpha, int mode, bool aa);
void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius,
                    LICE_PixelValue color, float alpha, int mode, bool aa);

// Bezier curves
template <class T>
T LICE_Bezier_GetY(T x1, T x2, T x3, T y1, T y2, T y3, T x, double* t);
template <class T>
T LICE_CBezier_GetY(T x1, T x2, T x3, T x4, T y1, T y2, T y3, T y4, T x, T* nextx,
                    T* dydx, double* tlo, double* thi);
void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl,
                      float xend, float yend, LICE_PixelValue color, float alpha, int mode, bool aa,
                      float tol);
void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, LICE_PixelValue color,
                      float alpha, int mode, bool aa, float tol);
void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, int yfill,
                      LICE_PixelValue color, float alpha, int mode, float tol);
void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                       float xctl2, float yctl2, float xend, float yend, int xfill,
                       LICE_PixelValue color, float alpha, int mode, float tol);

// Delta, rotated and transform blits
void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                    float srcx, float srcy, float srcw, float srch, double dsdx, double dtdx,
                    double dsdy, double dtdy, double dsdxdy, double dtdxdy, bool cliptosourcerect,
                    float alpha, int mode);
void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                      int dsth, float srcx, float srcy, float srcw, float srch, float angle,
                      bool cliptosourcerect, float alpha, int mode, float rotxcent,
                      float rotycent);
void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                        int dsth, const float* srcpoints, int div_w, int div_h, float alpha,
                        int mode);
void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, const double* srcpoints, int div_w, int div_h, float alpha,
                         int mode);

// Glyphs, flood fill and other bitmap operations
void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_PixelValue color,
                      const unsigned char* alphas, int glyph_w, int glyph_span, int glyph_h,
                      float alpha, int mode);
void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_PixelValue color,
                    const unsigned char* alphas, int glyph_w, int glyph_h, float alpha, int mode);
void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_PixelValue color);
void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_PixelValue newcolor,
                     unsigned int comparemask, unsigned int keepmask);
void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src);
int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut);

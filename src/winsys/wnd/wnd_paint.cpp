// The fast road of painting: the content view of a window draws its whole tree in
// one pass with one context. Window views that need it are painted in tree order,
// each clipped to its frame and translated to its origin; other views (controls)
// are displayed afterwards, only inside the areas being drawn. Main thread only.

#include "platform/appkit/NSTableView.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/gdi_draw.h"
#include "winsys/msgloop/viewdc.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

#include <unordered_map>
#include <vector>

namespace {

// Views left for the pass to display (retained), used as a stack: a pass pops
// only what it pushed. forced: reached during a forced repaint, shown whole.
struct Deferred
{
  NSView* view;
  bool forced;
};
// Never destroyed: a window may still be drawn while the process exits.
std::vector<Deferred>& s_deferred = *new std::vector<Deferred>;

void pushDeferred(bool forced, NSView* v)
{
  v->retain();
  s_deferred.push_back({v, forced});
}

// The answers of treeNeedsDisplay during one pass: the walk asks of a view and
// then of each view below it, which without them is quadratic in the depth of the
// tree. A view marked while the pass runs invalidates its window's area, so the
// next pass draws it even where an answer here is out of date.
std::unordered_map<NSView*, bool>* s_treeAnswers = nullptr;

// The kit marks only the view that asked; a view below one that is not marked
// still has to be reached.
bool treeNeedsDisplay(NSView* v)
{
  if (v->needsDisplay()) return true;
  if (s_treeAnswers)
  {
    const auto known = s_treeAnswers->find(v);
    if (known != s_treeAnswers->end()) return known->second;
  }
  bool needs = false;
  for (NSView* s : v->subviews())
    if (!s->isHidden() && treeNeedsDisplay(s))
    {
      needs = true;
      break;
    }
  if (s_treeAnswers) (*s_treeAnswers)[v] = needs;
  return needs;
}

// Answers kept for the pass of one window (passes may nest: each keeps its own).
struct TreeAnswersForPass
{
  std::unordered_map<NSView*, bool> answers;
  std::unordered_map<NSView*, bool>* outer = s_treeAnswers;
  TreeAnswersForPass() { s_treeAnswers = &answers; }
  ~TreeAnswersForPass() { s_treeAnswers = outer; }
};

NSRect unionOf(const NSRect* rects, int n)
{
  NSRect u = rects[0];
  for (int i = 1; i < n; ++i) u = NSUnionRect(u, rects[i]);
  return u;
}

}  // namespace

// rects are in baseView's coordinates (the content view's); the context has the
// view's coordinates. The kit converts between views, so the frame offsets the
// walk would otherwise carry along are not needed.
void swellRenderOptimizely(Swell_vDavrel_64_hwnd* view, HDC hdc, signed char force, const NSRect* rects, int n,
                           bool inContentCoordinates, NSView* baseView)
{
  // A view asked to be drawn (InvalidateRect, or the kit's own request) is painted
  // whole, with everything below it.
  if (view->dirtyBits() & 1 || view->needsDisplay()) force = 1;
  if (force)
  {
    NSRect p = view->bounds();
    if (n > 0)
    {
      if (view != baseView) p = view->convertRectToView(p, baseView);
      p = NSIntersectionRect(p, unionOf(rects, n));
      if (!NSIsEmptyRect(p) && view != baseView) p = view->convertRect(p, baseView);
    }
    if (p.size.width > 0 && p.size.height > 0) DrawSwellViewRectImpl(view, p, hdc);
  }

  std::vector<NSView*> subviews(view->subviews());
  for (NSView* s : subviews) s->retain();
  LRESULT brush = 0;
  bool brushAsked = false;
  CGContextRef gc = SWELL_GetCtxGC(hdc);
  for (NSView* s : subviews)
  {
    if (!s || s->isHidden() || s->superview() != view) continue;
    if (Swell_vDavrel_64_hwnd* wv = dynamic_cast<Swell_vDavrel_64_hwnd*>(s))
    {
      if (!force && !wv->dirtyBits() && !treeNeedsDisplay(wv)) continue;
      const NSRect f = s->frame();
      CGContextSaveGState(gc);
      CGContextClipToRect(gc, f);
      // The subview's bounds origin in this view's coordinates, and its y direction.
      const NSPoint o = s->convertPointToView(NSMakePoint(0, 0), view);
      CGContextTranslateCTM(gc, o.x, o.y);
      if (s->isFlipped() != view->isFlipped()) CGContextScaleCTM(gc, 1, -1);
      swellRenderOptimizely(wv, hdc, force, rects, n, false, baseView);
      CGContextRestoreGState(gc);
      s->setNeedsDisplay(false);
      brushAsked = false;  // the window view's paint may have changed the answer
      continue;
    }
    if (!force && !treeNeedsDisplay(s)) continue;
    // A scroll view's background is judged by its clip view; the scroll view is
    // displayed with its clip view inside it (displaying both would draw the clip
    // view's document twice).
    NSView* t = s;
    if (NSScrollView* sv = dynamic_cast<NSScrollView*>(s))
      if (sv->contentView()) t = sv->contentView();
    t->retain();
    if (!force && !t->isOpaque())
    {
      // What shows behind a control that does not cover its area.
      if (!brushAsked)
      {
        brush = SendMessage(SWELL_HWND(view), WM_CTLCOLORDLG, (WPARAM)hdc, (LPARAM)SWELL_HWND(view));
        brushAsked = true;
      }
      NSRect f = t->convertRectToView(t->bounds(), baseView);
      (void)inContentCoordinates;  // rects and F are both in the content view's coordinates here
      for (int i = 0; i < n; ++i)
      {
        const NSRect in = NSIntersectionRect(f, rects[i]);
        if (!(in.size.width > 0 && in.size.height > 0)) continue;
        const NSRect local = view->convertRect(in, baseView);
        const RECT r{(int32_t)local.origin.x, (int32_t)local.origin.y, (int32_t)(local.origin.x + local.size.width),
                     (int32_t)(local.origin.y + local.size.height)};
        if (brush >= 2) SWELL_FillRect(hdc, &r, (HBRUSH)brush);
        else SWELL_FillDialogBackground(hdc, &r, 3);
      }
    }
    pushDeferred(force != 0, s);
    t->release();
  }
  for (NSView* s : subviews) s->release();
  view->setDirtyBits(0);
}

bool Swell_vDavrel_64_hwnd::_recursiveDisplayRectIfNeededIgnoringOpacity()
{
  if (swellSystemVersion() < 0x1050 || !isOpaque() || !isContentView(this) || isHiddenOrHasHiddenAncestor())
    return NSView::_recursiveDisplayRectIfNeededIgnoringOpacity();
  NSWindow* w = window();
  // Areas no view was told of (a resize, a view shown or moved) are drawn whole.
  const bool byKit = w->drawingAreasNoViewAskedFor();
  TreeAnswersForPass answers;
  if (!m_isdirty && !byKit && !treeNeedsDisplay(this)) return true;

  const std::vector<NSRect> rects = getRectsBeingDrawn();
  if (rects.empty() || !lockFocus()) return true;
  NSGraphicsContext* gctx = NSGraphicsContext::currentContext();
  CGContextClipToRect(gctx->graphicsPort(), unionOf(rects.data(), (int)rects.size()));
  HDC hdc = SWELL_CreateGfxContext(gctx);
  if (!hdc)
  {
    unlockFocus();
    return true;
  }
  retain();
  const size_t depth = s_deferred.size();
  swellRenderOptimizely(this, hdc, byKit ? 1 : 0, rects.data(), (int)rects.size(), true, this);
  // The controls are drawn by the kit from the window's own coordinates.
  unlockFocus();
  while (s_deferred.size() > depth)
  {
    const Deferred d = s_deferred.back();
    s_deferred.pop_back();
    NSView* v = d.view;
    if (!d.forced)
    {
      for (const NSRect& r : rects)
      {
        const NSRect grown = NSMakeRect(r.origin.x - 1, r.origin.y - 1, r.size.width + 2, r.size.height + 2);
        const NSRect in = NSIntersectionRect(convertRectToView(grown, v), v->bounds());
        if (in.size.width > 0 && in.size.height > 0) v->displayRectIgnoringOpacity(in);
      }
    }
    else
      v->displayRectIgnoringOpacity(v->bounds());
    v->setNeedsDisplay(false);
    v->release();
  }
  SWELL_DeleteGfxContext(hdc);
  setNeedsDisplay(false);
  release();
  return true;
}

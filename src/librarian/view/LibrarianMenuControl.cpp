#include "librarian/view/LibrarianMenuControl.h"

#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "librarian/LibrarianViewHost.h"

#include <algorithm>

LibrarianMenuControl::LibrarianMenuControl(IPlugBase* plugBase, PatchLibrarian* lib, const IRECT& rect,
                                           LibrarianViewHost* host)
  : IControl(plugBase, rect, -1), plug(host), librarian(lib)
{
}

void LibrarianMenuControl::OnMouseDown(int x, int y, IMouseMod*)
{
  openMenu(x, y);
  SetDirty(true);
}

bool LibrarianMenuControl::Draw(IGraphics* g)
{
  if (!g) return false;
  IRECT r = mRECT;
  const std::string text = caption();
  if (text.empty()) return g->FillIRect(&COLOR_TRANSPARENT, &r);
  const IColor field(255, 22, 24, 28), edge(255, 86, 93, 102);
  const IColor ink = IsGrayed() || dimmed ? IColor(255, 110, 114, 120) : IColor(255, 230, 233, 237);
  g->FillIRect(&field, &r);
  g->DrawRect(&edge, &r);
  // The caption ends in a mark that says a click opens a menu.
  IText font(std::max(8, r.H() - 5), ink, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT inner(r.L + 4, r.T, r.R - 16, r.B);
  const size_t colon = text.find(": ");
  const size_t head = colon == std::string::npos ? 0 : colon + 2;
  mDrawnCaption = FitTextToWidth(g, &font, text.substr(0, head), text.substr(head), "", inner.W());
  std::string shown = mDrawnCaption;
  g->DrawITextInside(&font, &shown[0], &inner);
  IText mark(std::max(8, r.H() - 5), ink, nullptr, IText::kStyleNormal, IText::kAlignCenter);
  IRECT markRect(r.R - 16, r.T, r.R, r.B);
  char v[] = "v";
  return g->DrawIText(&mark, v, &markRect);
}

IPopupMenu* LibrarianMenuControl::showMenu(LibrarianViewHost* host, IPopupMenu* menu) const
{
  IGraphics* g = host ? host->librarianGraphics() : nullptr;
  IRECT r = mRECT;
  return g && menu ? g->CreateIPopupMenu(menu, &r) : nullptr;
}

#include "librarian/view/LibrarianMenuControl.h"

#include "gui/IGraphics.h"
#include "librarian/LibrarianViewHost.h"

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
  return g->FillIRect(&COLOR_TRANSPARENT, &r);
}

IPopupMenu* LibrarianMenuControl::showMenu(LibrarianViewHost* host, IPopupMenu* menu) const
{
  IGraphics* g = host ? host->librarianGraphics() : nullptr;
  IRECT r = mRECT;
  return g && menu ? g->CreateIPopupMenu(menu, &r) : nullptr;
}

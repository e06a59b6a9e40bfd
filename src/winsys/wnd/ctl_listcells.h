#pragma once
// The cells that draw the rows of the list view (and the tree view's column):
// text, a row's image before its text, and rows of an owner-drawn list box that
// the owner draws. The list view tells them the row about to be drawn while it
// answers for the cell's value. Main thread only.

#include "platform/appkit/NSTextField.h"
#include "winsys/gdi_image.h"

class Swell_vDavrel_64_listview;

// The text cell of every list view column but an image column, and of the tree
// view's column.
class Swell_vDavrel_64_listviewcell : public NSTextFieldCell
{
public:
  // None over a list or tree view with selection colours: they fill the row themselves.
  NSColor* highlightColorWithFrame(NSRect frame, NSView* controlView) override;
};

// Column 0 of a list view with an image list: the row's image in a square of the
// row's height at the left, the text 2 points after it.
class Swell_vDavrel_64_statuscell : public NSTextFieldCell
{
public:
  static Swell_vDavrel_64_statuscell* initNewCell() { return new Swell_vDavrel_64_statuscell; }
  void setStatusImage(SWELL_Image* image) { status = image; }
  void drawWithFrame(NSRect frame, NSView* controlView) override;
  // None over a list view with selection colours.
  NSColor* highlightColorWithFrame(NSRect frame, NSView* controlView) override;

  // The image of the row drawn next, or null; not retained, and dropped once drawn.
  SWELL_Image* status = nullptr;
};

// The cell of an owner-drawn list box: the owner's parent draws each row on
// WM_DRAWITEM; without an owner it draws as a text cell.
class Swell_vDavrel_64_ODlistviewcell : public NSTextFieldCell
{
public:
  void setOwnerControl(Swell_vDavrel_64_listview* owner)
  {
    m_ownctl = owner;
    m_lastidx = 0;
  }
  void setItemIdx(int idx) { m_lastidx = idx; }
  void drawInteriorWithFrame(NSRect frame, NSView* controlView) override;

  Swell_vDavrel_64_listview* m_ownctl = nullptr;  // not retained: the owner holds the cell
  int m_lastidx = 0;                              // the row drawn next
};

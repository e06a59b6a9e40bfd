#include "platform/appkit/NSTableView.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

NSFont* cellFont() { return NSFont::systemFontOfSize(12); }

// A baseline that sits a line of the font in the middle of a row (y downward).
CGFloat rowBaseline(NSFont* font, NSRect r)
{
  if (!font) return r.origin.y + r.size.height - 3;
  const CGFloat a = CTFontGetAscent(font->ctFont()), d = CTFontGetDescent(font->ctFont());
  return std::floor(r.origin.y + (r.size.height - (a + d)) / 2 + a);
}

void drawText(const std::string& text, NSFont* font, NSRect r, NSTextAlignment align, NSColor* colour)
{
  if (text.empty()) return;
  CGFloat x = r.origin.x + 2;
  if (align == NSRightTextAlignment || align == NSCenterTextAlignment)
  {
    const CGFloat w = AKMeasureText(text, font);
    x = align == NSRightTextAlignment ? NSMaxX(r) - 2 - w : r.origin.x + std::floor((r.size.width - w) / 2);
  }
  AKDrawTextLine(text, font, NSMakePoint(x, rowBaseline(font, r)), colour);
}

}  // namespace

void NSTextFieldCell::drawInteriorWithFrame(NSRect frame, NSView*)
{
  drawText(stringValue(), font(), frame, alignment(), textColor());
}

namespace {

// The cell where a column's and a row's rectangles cross, inside the spacing; empty
// for a hidden column.
NSRect cellIn(NSRect column, NSRect row, NSSize spacing, CGFloat rowHeight)
{
  if (column.size.width <= 0) return NSMakeRect(0, 0, 0, 0);
  return NSMakeRect(column.origin.x + std::floor(spacing.width / 2), row.origin.y + std::floor(spacing.height / 2),
                    column.size.width - spacing.width, rowHeight);
}

}  // namespace

// ---- NSClipView and NSScrollView ----

NSRect NSClipView::documentVisibleRect() const
{
  NSView* doc = documentView();
  const NSRect b = bounds();
  if (!doc) return b;
  return NSMakeRect(-doc->frame().origin.x, -doc->frame().origin.y, b.size.width, b.size.height);
}

void NSClipView::scrollToPoint(NSPoint p)
{
  NSView* doc = documentView();
  if (!doc) return;
  const NSSize d = doc->frame().size, c = bounds().size;
  p.x = std::max<CGFloat>(0, std::min(p.x, d.width - c.width));
  p.y = std::max<CGFloat>(0, std::min(p.y, d.height - c.height));
  doc->setFrameOrigin(NSMakePoint(-p.x, -p.y));
  setNeedsDisplay(true);
}

NSScrollView::NSScrollView(NSRect frame) : NSView(frame), mClip(new NSClipView(NSMakeRect(0, 0, 0, 0)))
{
  addSubview(mClip);
  mClip->release();
  tile();
}

void NSScrollView::setDocumentView(NSView* view)
{
  while (!mClip->subviews().empty()) mClip->subviews().back()->removeFromSuperview();
  if (view) mClip->addSubview(view);
  tile();
}

void NSScrollView::tile()
{
  const NSRect b = bounds();
  NSTableView* table = dynamic_cast<NSTableView*>(documentView());
  NSTableHeaderView* header = table ? table->headerView() : nullptr;
  for (NSView* v : std::vector<NSView*>(subviews()))
    if (v != mClip && v != header) v->removeFromSuperview();
  CGFloat top = 0;
  if (header)
  {
    if (header->superview() != this) addSubview(header);
    header->setFrame(NSMakeRect(0, 0, b.size.width, header->frame().size.height));
    top = header->frame().size.height;
  }
  mClip->setFrame(NSMakeRect(0, top, b.size.width, std::max<CGFloat>(0, b.size.height - top)));
  if (table) table->reloadData();
  else if (NSTextView* text = dynamic_cast<NSTextView*>(documentView())) text->sizeToFit();
  mClip->scrollToPoint(mClip->documentVisibleRect().origin);
}

void NSScrollView::setFrame(NSRect frame)
{
  NSView::setFrame(frame);
  tile();
}

void NSScrollView::scrollWheel(NSEvent* e)
{
  if (!e) return;
  const NSRect v = documentVisibleRect();
  mClip->scrollToPoint(NSMakePoint(v.origin.x - e->deltaX() * 10, v.origin.y - e->deltaY() * 10));
}

// ---- NSTableHeaderView ----

void NSTableHeaderView::drawRect(NSRect)
{
  const NSRect b = bounds();
  AKGray(0.9)->setFill();
  NSColor::fillRect(b);
  AKGray(0.6)->setFill();
  NSColor::fillRect(NSMakeRect(0, b.size.height - 1, b.size.width, 1));
  if (!mTable) return;
  NSFont* font = cellFont();
  // The header scrolls sideways with the table.
  const CGFloat dx = mTable->frame().origin.x;
  for (NSInteger c = 0; c < mTable->numberOfColumns(); ++c)
  {
    NSTableColumn* col = mTable->tableColumns()[(size_t)c];
    if (col->isHidden()) continue;
    NSRect r = mTable->rectOfColumn(c);
    r.origin.x += dx;
    r.origin.y = 0;
    r.size.height = b.size.height;
    AKGray(0.6)->setFill();
    NSColor::fillRect(NSMakeRect(NSMaxX(r) - 1, 2, 1, b.size.height - 4));
    std::string title = col->headerTitle();
    if (col->indicatorImageName() == "NSAscendingSortIndicator") title += " ^";
    else if (col->indicatorImageName() == "NSDescendingSortIndicator") title += " v";
    drawText(title, font, NSMakeRect(r.origin.x + 2, 0, r.size.width - 4, b.size.height), col->headerAlignment(),
             AKGray(0.1));
  }
}

namespace {

// How near a column's right edge a press takes the edge, and the narrowest a drag
// leaves a column.
const CGFloat kEdgeSlop = 3, kMinDraggedWidth = 10;

}  // namespace

NSTableHeaderView::~NSTableHeaderView() { AKRelease(mPressed); }

CGFloat NSTableHeaderView::tableX(NSEvent* e) const
{
  return convertPoint(e->locationInWindow(), nullptr).x - (mTable ? mTable->frame().origin.x : 0);
}

void NSTableHeaderView::mouseDown(NSEvent* e)
{
  AKRelease(mPressed);
  mTrack = kTrackNone;
  if (!mTable || !e) return;
  const CGFloat x = tableX(e);
  NSInteger c = -1;
  for (NSInteger i = 0; i < mTable->numberOfColumns(); ++i)
  {
    const CGFloat edge = NSMaxX(mTable->rectOfColumn(i));
    if (!mTable->tableColumns()[(size_t)i]->isHidden() && x >= edge - kEdgeSlop - 1 && x < edge + kEdgeSlop) c = i;
  }
  mTrack = c >= 0 ? kTrackResize : kTrackClick;
  if (c < 0) c = mTable->NSTableView::columnAtPoint(NSMakePoint(x, 0));
  if (c < 0)
  {
    mTrack = kTrackNone;
    return;
  }
  mPressed = AKRetain(mTable->tableColumns()[(size_t)c]);
  mPressX = x;
  mPressWidth = mPressed->width();
}

void NSTableHeaderView::mouseDragged(NSEvent* e)
{
  // The column may have left the table since the press.
  const NSInteger at = mTable && mPressed && e ? mTable->indexOfTableColumn(mPressed) : -1;
  if (at < 0) return;
  const CGFloat x = tableX(e);
  if (mTrack == kTrackResize)
  {
    mPressed->setWidth(std::max(kMinDraggedWidth, mPressWidth + x - mPressX));
    mTable->tileSize();
    mTable->setNeedsDisplay(true);
    setNeedsDisplay(true);
    return;
  }
  if (!mTable->allowsColumnReordering() || (mTrack == kTrackClick && std::fabs(x - mPressX) <= kEdgeSlop)) return;
  mTrack = kTrackMove;
  // A pointer beyond the columns stands over the first or the last.
  const CGFloat end = NSMaxX(mTable->rectOfColumn(mTable->numberOfColumns() - 1));
  const NSInteger to = mTable->NSTableView::columnAtPoint(NSMakePoint(std::max<CGFloat>(0, std::min(x, end - 1)), 0));
  if (to < 0 || to == at) return;
  // The dragged column takes a neighbour's place once the pointer passes its middle.
  const NSRect over = mTable->rectOfColumn(to);
  const CGFloat mid = over.origin.x + over.size.width / 2;
  if (to > at ? x >= mid : x < mid) mTable->moveColumn(at, to);
}

void NSTableHeaderView::mouseUp(NSEvent* e)
{
  NSTableColumn* pressed = mPressed;
  mPressed = nullptr;
  NSTableView* table = mTable;
  const bool click = mTrack == kTrackClick && table && e && pressed && table->mDelegate &&
                     table->NSTableView::columnAtPoint(NSMakePoint(tableX(e), 0)) == table->indexOfTableColumn(pressed);
  mTrack = kTrackNone;
  if (click)
  {
    table->retain();
    table->mDelegate->tableViewDidClickTableColumn(table, pressed);
    table->release();
  }
  AKRelease(pressed);
}

// ---- NSTableView ----

NSTableView::NSTableView(NSRect frame) : NSControl(frame), mHeader(new NSTableHeaderView(NSMakeRect(0, 0, 0, 17)))
{
  mHeader->mTable = this;
  setFont(cellFont());
}

NSTableView::~NSTableView()
{
  for (NSTableColumn* c : mColumns)
  {
    c->mTable = nullptr;
    c->release();
  }
  if (mHeader) mHeader->mTable = nullptr;
  AKRelease(mHeader);
  AKRelease(mBackground);
  AKRelease(mGrid);
}

void NSTableView::addTableColumn(NSTableColumn* column)
{
  if (!column || column->mTable) return;
  column->retain();
  column->mTable = this;
  mColumns.push_back(column);
  reloadData();
}

void NSTableView::removeTableColumn(NSTableColumn* column)
{
  const NSInteger i = indexOfTableColumn(column);
  if (i < 0) return;
  mColumns.erase(mColumns.begin() + i);
  column->mTable = nullptr;
  column->release();
  reloadData();
}

NSInteger NSTableView::indexOfTableColumn(NSTableColumn* column) const
{
  auto it = std::find(mColumns.begin(), mColumns.end(), column);
  return it == mColumns.end() ? -1 : (NSInteger)(it - mColumns.begin());
}

void NSTableView::moveColumn(NSInteger from, NSInteger to)
{
  const NSInteger n = numberOfColumns();
  if (from < 0 || from >= n || to < 0 || to >= n || from == to) return;
  NSTableColumn* c = mColumns[(size_t)from];
  mColumns.erase(mColumns.begin() + from);
  mColumns.insert(mColumns.begin() + to, c);
  setNeedsDisplay(true);
  if (mHeader) mHeader->setNeedsDisplay(true);
}

void NSTableView::setHeaderView(NSTableHeaderView* header)
{
  if (header == mHeader) return;
  if (mHeader)
  {
    mHeader->mTable = nullptr;
    mHeader->removeFromSuperview();
  }
  AKAssign(mHeader, header);
  if (mHeader) mHeader->mTable = this;
  if (NSScrollView* s = enclosingScrollView()) s->tile();
}

NSInteger NSTableView::numberOfRows() const
{
  return mDataSource ? std::max<NSInteger>(0, mDataSource->numberOfRowsInTableView(const_cast<NSTableView*>(this))) : 0;
}

void NSTableView::tileSize()
{
  CGFloat w = 0;
  for (NSTableColumn* c : mColumns)
    if (!c->isHidden()) w += c->width() + mSpacing.width;
  CGFloat h = (CGFloat)numberOfRows() * (mRowHeight + mSpacing.height);
  if (NSView* clip = dynamic_cast<NSClipView*>(superview()))
  {
    w = std::max(w, clip->bounds().size.width);
    h = std::max(h, clip->bounds().size.height);
  }
  if (w != frame().size.width || h != frame().size.height) setFrameSize(NSMakeSize(w, h));
}

void NSTableView::reloadData()
{
  // Rows that are gone leave the selection.
  const NSInteger n = numberOfRows();
  while (!mSelection.empty() && *mSelection.rbegin() >= n) mSelection.erase(std::prev(mSelection.end()));
  if (mLastSelected >= n) mLastSelected = mSelection.empty() ? -1 : *mSelection.rbegin();
  tileSize();
  setNeedsDisplay(true);
  if (mHeader) mHeader->setNeedsDisplay(true);
}

void NSTableView::setRowHeight(CGFloat h)
{
  mRowHeight = std::max<CGFloat>(1, h);
  reloadData();
}

NSInteger NSTableView::selectedRow() const
{
  if (mSelection.empty()) return -1;
  return mSelection.count(mLastSelected) ? mLastSelected : *mSelection.rbegin();
}

void NSTableView::selectRowIndexes(const NSIndexSet& rows, bool extend)
{
  const NSIndexSet before = mSelection;
  if (!extend) mSelection.clear();
  const NSInteger n = numberOfRows();
  for (NSInteger r : rows)
    if (r >= 0 && r < n)
    {
      mSelection.insert(r);
      mLastSelected = r;
    }
  if (mSelection != before)
  {
    setNeedsDisplay(true);
    selectionDidChange();
  }
}

void NSTableView::deselectRow(NSInteger row)
{
  if (!mSelection.erase(row)) return;
  setNeedsDisplay(true);
  selectionDidChange();
}

void NSTableView::deselectAll(NSObject*)
{
  if (mSelection.empty()) return;
  mSelection.clear();
  setNeedsDisplay(true);
  selectionDidChange();
}

NSInteger NSTableView::rowAtPoint(NSPoint p) const
{
  if (p.y < 0 || p.x < 0 || p.x >= frame().size.width) return -1;
  // Compared before it is made a whole number: rows of no height give no number.
  const double r = std::floor(p.y / (mRowHeight + mSpacing.height));
  return r >= 0 && r < (double)numberOfRows() ? (NSInteger)r : -1;
}

NSInteger NSTableView::columnAtPoint(NSPoint p) const
{
  for (NSInteger c = 0; c < numberOfColumns(); ++c)
  {
    const NSRect r = rectOfColumn(c);
    if (!mColumns[(size_t)c]->isHidden() && p.x >= r.origin.x && p.x < NSMaxX(r)) return c;
  }
  return -1;
}

NSRect NSTableView::rectOfRow(NSInteger row) const
{
  const CGFloat pitch = mRowHeight + mSpacing.height;
  return NSMakeRect(0, row * pitch, frame().size.width, pitch);
}

NSRect NSTableView::rectOfColumn(NSInteger column) const
{
  CGFloat x = 0;
  for (NSInteger c = 0; c < column && c < numberOfColumns(); ++c)
    if (!mColumns[(size_t)c]->isHidden()) x += mColumns[(size_t)c]->width() + mSpacing.width;
  const CGFloat w = column >= 0 && column < numberOfColumns() && !mColumns[(size_t)column]->isHidden()
                        ? mColumns[(size_t)column]->width() + mSpacing.width
                        : 0;
  return NSMakeRect(x, 0, w, frame().size.height);
}

NSRect NSTableView::frameOfCellAtColumn(NSInteger column, NSInteger row) const
{
  return cellIn(rectOfColumn(column), rectOfRow(row), mSpacing, mRowHeight);
}

NSScrollView* NSView::enclosingScrollView() const
{
  for (NSView* v = superview(); v; v = v->superview())
    if (NSScrollView* s = dynamic_cast<NSScrollView*>(v)) return s;
  return nullptr;
}

void NSTableView::scrollRowToVisible(NSInteger row)
{
  NSClipView* clip = dynamic_cast<NSClipView*>(superview());
  if (!clip || row < 0 || row >= numberOfRows()) return;
  const NSRect v = clip->documentVisibleRect(), r = rectOfRow(row);
  NSPoint p = v.origin;
  if (r.origin.y < v.origin.y) p.y = r.origin.y;
  else if (NSMaxY(r) > NSMaxY(v)) p.y = NSMaxY(r) - v.size.height;
  clip->scrollToPoint(p);
}

void NSTableView::scrollColumnToVisible(NSInteger column)
{
  NSClipView* clip = dynamic_cast<NSClipView*>(superview());
  if (!clip || column < 0 || column >= numberOfColumns()) return;
  const NSRect v = clip->documentVisibleRect(), r = rectOfColumn(column);
  NSPoint p = v.origin;
  if (r.origin.x < v.origin.x) p.x = r.origin.x;
  else if (NSMaxX(r) > NSMaxX(v)) p.x = NSMaxX(r) - v.size.width;
  clip->scrollToPoint(p);
  if (mHeader) mHeader->setNeedsDisplay(true);
}

void NSTableView::highlightSelectionInClipRect(NSRect clip)
{
  NSColor::colorWithCalibratedRed(0.71, 0.84, 1.0, 1)->setFill();
  for (NSInteger r : mSelection)
  {
    const NSRect i = NSIntersectionRect(rectOfRow(r), clip);
    if (!NSIsEmptyRect(i)) NSColor::fillRect(i);
  }
}

NSColor* NSTableView::textColorForRow(NSInteger, bool) { return AKGray(0); }

void NSTableView::tellSelectionDidChange()
{
  if (!mDelegate) return;
  NSNotification* n = new NSNotification("NSTableViewSelectionDidChangeNotification", this);
  mDelegate->tableViewSelectionDidChange(n);
  n->release();
}

void NSTableView::mouseDown(NSEvent* e) { pressFrom(e, mSelection); }

void NSTableView::pressFrom(NSEvent* e, const NSIndexSet before)
{
  if (!e || !mEnabled) return;
  if (NSWindow* w = window()) w->makeFirstResponder(this);
  // The delegate and the target may drop the table meanwhile.
  retain();
  const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
  const NSInteger row = rowAtPoint(p);
  mClickedRow = row;
  mClickedColumn = row < 0 ? -1 : columnAtPoint(p);
  select(row, e->modifierFlags());
  if (mSelection != before) tellSelectionDidChange();
  if (row >= 0)
  {
    sendAction();
    if (e->clickCount() >= 2) sendAction(mDoubleAction);
  }
  release();
}

void NSTableView::select(NSInteger row, NSUInteger f)
{
  if (row < 0)
  {
    deselectAll(nullptr);
    return;
  }
  if (mMultiple && (f & NSCommandKeyMask))
  {
    if (isRowSelected(row)) deselectRow(row);
    else selectRowIndexes({row}, true);
    mAnchor = row;
  }
  else if (mMultiple && (f & NSShiftKeyMask) && selectedRow() >= 0)
  {
    NSIndexSet span;
    for (NSInteger r = std::min(row, selectedRow()); r <= std::max(row, selectedRow()); ++r) span.insert(r);
    selectRowIndexes(span, true);
  }
  else
  {
    selectRowIndexes({row}, false);
    mAnchor = row;
  }
}

char16_t NSTableView::movementKey(NSEvent* e)
{
  if (!e || e->charactersIgnoringModifiers().size() != 1 ||
      (e->modifierFlags() & (NSCommandKeyMask | NSControlKeyMask | NSAlternateKeyMask)))
    return 0;
  const char16_t c = e->charactersIgnoringModifiers()[0];
  switch (c)
  {
    case NSUpArrowFunctionKey:
    case NSDownArrowFunctionKey:
    case NSLeftArrowFunctionKey:
    case NSRightArrowFunctionKey:
    case NSHomeFunctionKey:
    case NSEndFunctionKey:
    case NSPageUpFunctionKey:
    case NSPageDownFunctionKey:
      return c;
    default:
      return 0;
  }
}

void NSTableView::keyDown(NSEvent* e)
{
  const char16_t key = mEnabled ? movementKey(e) : 0;
  if (!key || key == NSLeftArrowFunctionKey || key == NSRightArrowFunctionKey)
  {
    NSControl::keyDown(e);
    return;
  }
  const NSInteger n = numberOfRows();
  if (n <= 0) return;
  // A page is the rows the clip view shows whole, at least one.
  const NSClipView* clip = dynamic_cast<NSClipView*>(superview());
  const CGFloat shown = clip ? clip->bounds().size.height : frame().size.height, pitch = mRowHeight + mSpacing.height;
  const NSInteger page = pitch > 0 ? std::max<NSInteger>(1, (NSInteger)std::floor(shown / pitch)) : 1;
  const bool upward = key == NSUpArrowFunctionKey || key == NSPageUpFunctionKey;
  // With nothing selected the keys start from beyond the end they move away from.
  const NSInteger from = selectedRow() >= 0 ? selectedRow() : (upward ? n : -1);
  NSInteger to = key == NSHomeFunctionKey ? 0 : n - 1;
  if (key == NSUpArrowFunctionKey || key == NSDownArrowFunctionKey) to = from + (upward ? -1 : 1);
  else if (key == NSPageUpFunctionKey || key == NSPageDownFunctionKey) to = from + (upward ? -page : page);
  to = std::max<NSInteger>(0, std::min(to, n - 1));

  const NSIndexSet before = mSelection;
  if (mMultiple && (e->modifierFlags() & NSShiftKeyMask))
  {
    // From the row the extension began on while that is still selected.
    const NSInteger anchor = mAnchor >= 0 && isRowSelected(mAnchor) ? mAnchor : (from >= 0 && from < n ? from : to);
    NSIndexSet span;
    for (NSInteger r = std::min(anchor, to); r <= std::max(anchor, to); ++r) span.insert(r);
    selectRowIndexes(span, false);
    mAnchor = anchor;
  }
  else
  {
    selectRowIndexes({to}, false);
    mAnchor = to;
  }
  // The keys go on from the row reached, wherever it lies in the span.
  mLastSelected = to;
  retain();
  scrollRowToVisible(to);
  if (mSelection != before) tellSelectionDidChange();
  release();
}

void NSTableView::drawCell(NSTableColumn* column, NSInteger row, NSRect frame, bool selected)
{
  // The value first: a data source may prepare the cell for this row as it answers.
  // The drawing pass keeps the column alive should the data source drop it.
  const std::string text = mDataSource ? mDataSource->tableViewObjectValue(this, column, row) : std::string();
  if (NSCell* cell = column->dataCell())
  {
    cell->setStringValue(text);
    cell->setFont(mFont);
    cell->setAlignment(column->headerAlignment());
    cell->setTextColor(textColorForRow(row, selected));
    cell->drawWithFrame(frame, this);
  }
}

void NSTableView::drawRect(NSRect dirty)
{
  (mBackground ? mBackground : AKGray(1))->setFill();
  NSColor::fillRect(dirty);
  const NSInteger n = numberOfRows();
  const CGFloat pitch = mRowHeight + mSpacing.height;
  const NSInteger first = std::max<NSInteger>(0, (NSInteger)std::floor(dirty.origin.y / pitch));
  const NSInteger last = std::min<NSInteger>(n - 1, (NSInteger)std::floor((NSMaxY(dirty) - 1) / pitch));
  highlightSelectionInClipRect(dirty);
  // Each column's place sums the widths before it: work it out once, not per cell.
  // The pass draws the columns it began with, kept alive: a data source answering
  // for a cell may add or drop columns, which the next pass shows.
  const std::vector<NSTableColumn*> shown = mColumns;
  std::vector<NSRect> columns;
  columns.reserve(shown.size());
  for (size_t c = 0; c < shown.size(); ++c)
  {
    shown[c]->retain();
    columns.push_back(rectOfColumn((NSInteger)c));
  }
  for (NSInteger r = first; r <= last; ++r)
    for (size_t c = 0; c < shown.size(); ++c)
    {
      NSTableColumn* col = shown[c];
      const NSRect cell = cellIn(columns[c], rectOfRow(r), mSpacing, mRowHeight);
      if (col->isHidden() || NSIsEmptyRect(NSIntersectionRect(cell, dirty))) continue;
      drawCell(col, r, cell, isRowSelected(r));
    }
  for (NSTableColumn* col : shown) col->release();
  if (mGridMask)
  {
    (mGrid ? mGrid : AKGray(0.85))->setFill();
    if (mGridMask & 1)
      for (const NSRect& cr : columns)
        NSColor::fillRect(NSMakeRect(NSMaxX(cr) - 1, dirty.origin.y, 1, dirty.size.height));
    if (mGridMask & 2)
      for (NSInteger r = first; r <= last; ++r)
        NSColor::fillRect(NSMakeRect(dirty.origin.x, NSMaxY(rectOfRow(r)) - 1, dirty.size.width, 1));
  }
}

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSTableView.h"

#include <algorithm>
#include <cmath>

NSOutlineView::NSOutlineView(NSRect frame) : NSTableView(frame) { setDataSource(this); }

void NSOutlineView::walk(NSObject* parent, NSInteger level)
{
  const NSInteger n = mOutlineSource->outlineViewNumberOfChildren(this, parent);
  for (NSInteger i = 0; i < n; ++i)
  {
    NSObject* item = mOutlineSource->outlineViewChild(this, i, parent);
    if (!item) continue;
    mRows.emplace_back(item, level);
    if (isItemExpanded(item)) walk(item, level + 1);
  }
}

void NSOutlineView::reloadData()
{
  // The selection follows its items through the rebuild.
  std::vector<NSObject*> selected;
  for (NSInteger r : selectedRowIndexes())
    if (NSObject* item = itemAtRow(r)) selected.push_back(item);
  mRows.clear();
  if (mOutlineSource) walk(nullptr, 0);
  NSIndexSet rows;
  for (NSObject* item : selected)
    if (const NSInteger row = rowForItem(item); row >= 0) rows.insert(row);
  if (rows != selectedRowIndexes())
  {
    deselectAll(nullptr);
    if (!rows.empty()) selectRowIndexes(rows, false);
  }
  NSTableView::reloadData();
}

NSObject* NSOutlineView::itemAtRow(NSInteger row) const
{
  return row >= 0 && row < (NSInteger)mRows.size() ? mRows[(size_t)row].first : nullptr;
}

NSInteger NSOutlineView::rowForItem(NSObject* item) const
{
  for (size_t i = 0; i < mRows.size(); ++i)
    if (mRows[i].first == item) return (NSInteger)i;
  return -1;
}

NSInteger NSOutlineView::levelForRow(NSInteger row) const
{
  return row >= 0 && row < (NSInteger)mRows.size() ? mRows[(size_t)row].second : -1;
}

void NSOutlineView::expandItem(NSObject* item)
{
  if (!item || isItemExpanded(item)) return;
  mExpanded.insert(item);
  reloadData();
}

void NSOutlineView::collapseItem(NSObject* item)
{
  if (!mExpanded.erase(item)) return;
  reloadData();
}

void NSOutlineView::setIndentationPerLevel(CGFloat v)
{
  mIndent = std::max<CGFloat>(0, v);
  setNeedsDisplay(true);
}

std::string NSOutlineView::tableViewObjectValue(NSTableView*, NSTableColumn* column, NSInteger row)
{
  NSObject* item = itemAtRow(row);
  return item && mOutlineSource ? mOutlineSource->outlineViewObjectValue(this, column, item) : std::string();
}

void NSOutlineView::mouseDown(NSEvent* e)
{
  if (e && mOutlineSource)
  {
    const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
    const NSInteger row = rowAtPoint(p);
    NSObject* item = itemAtRow(row);
    const CGFloat x = (CGFloat)levelForRow(row) * mIndent;
    if (item && p.x >= x && p.x < x + 14 && mOutlineSource->outlineViewIsItemExpandable(this, item))
    {
      if (isItemExpanded(item)) collapseItem(item);
      else expandItem(item);
      return;
    }
  }
  NSTableView::mouseDown(e);
}

void NSOutlineView::keyDown(NSEvent* e)
{
  const char16_t key = isEnabled() ? movementKey(e) : 0;
  NSObject* item = itemAtRow(selectedRow());
  if ((key != NSLeftArrowFunctionKey && key != NSRightArrowFunctionKey) || !item || !mOutlineSource)
  {
    NSTableView::keyDown(e);
    return;
  }
  // Closing an item can only drop selected rows (its children), opening none.
  const NSInteger before = numberOfSelectedRows();
  if (key == NSLeftArrowFunctionKey) collapseItem(item);
  else if (mOutlineSource->outlineViewIsItemExpandable(this, item)) expandItem(item);
  retain();
  scrollRowToVisible(selectedRow());
  if (numberOfSelectedRows() != before) tellSelectionDidChange();
  release();
}

void NSOutlineView::tellSelectionDidChange()
{
  if (!delegate()) return;
  NSNotification* n = new NSNotification("NSOutlineViewSelectionDidChangeNotification", this);
  delegate()->outlineViewSelectionDidChange(n);
  n->release();
}

void NSOutlineView::drawCell(NSTableColumn* column, NSInteger row, NSRect frame, bool selected)
{
  const CGFloat x = (CGFloat)levelForRow(row) * mIndent;
  NSObject* item = itemAtRow(row);
  if (column == tableColumns().front() && item && mOutlineSource &&
      mOutlineSource->outlineViewIsItemExpandable(this, item))
  {
    AKGray(0.35)->setFill();
    const CGFloat cy = std::floor(frame.origin.y + frame.size.height / 2);
    for (int i = 0; i < 4; ++i)
    {
      if (isItemExpanded(item)) NSColor::fillRect(NSMakeRect(frame.origin.x + x + 3 + i, cy - 2 + i, 7 - 2 * i, 1));
      else NSColor::fillRect(NSMakeRect(frame.origin.x + x + 4 + i, cy - 3 + i, 1, 7 - 2 * i));
    }
  }
  if (column == tableColumns().front())
  {
    frame.origin.x += x + 14;
    frame.size.width -= x + 14;
  }
  NSTableView::drawCell(column, row, frame, selected);
}

#pragma once
// Tables and outlines: a table view asks its data source for the row count and
// for each cell it draws (only the rows in the dirty area are asked, so a table of
// many rows costs what its visible part costs), keeps a selection of row indexes,
// and shows columns that can be reordered, resized and hidden. A scroll view holds
// the table in a clip view, with the table's header above it.
//
// Tables are flipped: row 0 is at the top.

#include "platform/appkit/NSTextField.h"

#include <set>
#include <vector>

class NSTableView;
class NSTableColumn;
class NSImage;

typedef std::set<NSInteger> NSIndexSet;

class NSTableViewDataSource
{
public:
  virtual ~NSTableViewDataSource() = default;
  virtual NSInteger numberOfRowsInTableView(NSTableView*) = 0;
  // The UTF-8 text of a cell.
  virtual std::string tableViewObjectValue(NSTableView*, NSTableColumn*, NSInteger row) = 0;
};

// Told what the user did to a table with the mouse; selections made by calls tell
// nobody. The notification's object is the table.
class NSTableViewDelegate
{
public:
  virtual ~NSTableViewDelegate() = default;
  virtual void tableViewSelectionDidChange(NSNotification*) {}
  virtual void outlineViewSelectionDidChange(NSNotification*) {}
  virtual void tableViewDidClickTableColumn(NSTableView*, NSTableColumn*) {}
};

class NSTableColumn : public NSObject
{
public:
  NSTableColumn() : mDataCell(new NSTextFieldCell) {}
  CGFloat width() const { return mWidth; }
  void setWidth(CGFloat w) { mWidth = w < 0 ? 0 : w; }
  bool isHidden() const { return mHidden; }
  void setHidden(bool on) { mHidden = on; }
  const std::string& headerTitle() const { return mTitle; }
  void setHeaderTitle(const std::string& t) { mTitle = t; }
  NSTextAlignment headerAlignment() const { return mAlign; }
  void setHeaderAlignment(NSTextAlignment a) { mAlign = a; }
  NSCell* dataCell() const { return mDataCell; }
  void setDataCell(NSCell* cell) { AKAssign(mDataCell, cell); }  // retained
  // The name of the sort indicator shown in the header ("" for none).
  const std::string& indicatorImageName() const { return mIndicator; }
  void setIndicatorImageName(const std::string& name) { mIndicator = name; }
  NSTableView* tableView() const { return mTable; }

protected:
  ~NSTableColumn() override { AKRelease(mDataCell); }

private:
  friend class NSTableView;
  CGFloat mWidth = 100;
  bool mHidden = false;
  std::string mTitle, mIndicator;
  NSTextAlignment mAlign = NSLeftTextAlignment;
  NSCell* mDataCell;
  NSTableView* mTable = nullptr;  // not retained
};

class NSTableHeaderView : public NSView
{
public:
  explicit NSTableHeaderView(NSRect frame) : NSView(frame) {}
  NSTableView* tableView() const { return mTable; }
  bool isFlipped() const override { return true; }
  void drawRect(NSRect dirtyRect) override;
  // A press on a column's right edge and a drag resize that column; a title
  // dragged sideways moves its column over its neighbours when the table allows
  // reordering; a press released on the title it began on, with no column moved,
  // tells the table's delegate of the click.
  void mouseDown(NSEvent* e) override;
  void mouseDragged(NSEvent* e) override;
  void mouseUp(NSEvent* e) override;
  bool acceptsFirstMouse(NSEvent*) override { return true; }

protected:
  ~NSTableHeaderView() override;

private:
  friend class NSTableView;
  enum Track
  {
    kTrackNone,
    kTrackClick,
    kTrackResize,
    kTrackMove
  };
  // The event's x in the table's coordinates: the header scrolls sideways with it.
  CGFloat tableX(NSEvent* e) const;
  NSTableView* mTable = nullptr;     // not retained
  NSTableColumn* mPressed = nullptr;  // retained from the press to the release
  Track mTrack = kTrackNone;
  CGFloat mPressX = 0, mPressWidth = 0;
};

class NSClipView : public NSView
{
public:
  explicit NSClipView(NSRect frame) : NSView(frame) {}
  bool isFlipped() const override { return true; }
  NSView* documentView() const { return subviews().empty() ? nullptr : subviews()[0]; }
  // The part of the document shown, in the document's coordinates.
  NSRect documentVisibleRect() const;
  // Shows the document from the point (clamped to the document).
  void scrollToPoint(NSPoint p);
};

class NSScrollView : public NSView
{
public:
  explicit NSScrollView(NSRect frame);
  bool isFlipped() const override { return true; }
  NSClipView* contentView() const { return mClip; }
  NSView* documentView() const { return mClip->documentView(); }
  // Retained; a table's header goes above the clip view.
  void setDocumentView(NSView* view);
  NSRect documentVisibleRect() const { return mClip->documentVisibleRect(); }
  // The clip view's size: the kit draws no scrollers, so they take no room.
  NSSize contentSize() const { return mClip->frame().size; }
  // Kept for callers (placing text reads the scrollers); the kit draws neither
  // scrollers nor a background of its own.
  bool hasVerticalScroller() const { return mVScroller; }
  void setHasVerticalScroller(bool on) { mVScroller = on; }
  bool hasHorizontalScroller() const { return mHScroller; }
  void setHasHorizontalScroller(bool on) { mHScroller = on; }
  bool autohidesScrollers() const { return mAutohides; }
  void setAutohidesScrollers(bool on) { mAutohides = on; }
  bool drawsBackground() const { return mDrawsBackground; }
  void setDrawsBackground(bool on) { mDrawsBackground = on; }
  // Lays out the header and the clip view in the frame; a text document follows
  // the clip view's height.
  void tile();
  void setFrame(NSRect frame) override;
  void scrollWheel(NSEvent* e) override;

private:
  NSClipView* mClip;  // a subview
  bool mVScroller = false, mHScroller = false, mAutohides = false, mDrawsBackground = true;
};

class NSTableView : public NSControl
{
public:
  explicit NSTableView(NSRect frame);

  bool isFlipped() const override { return true; }
  NSTableViewDataSource* dataSource() const { return mDataSource; }
  void setDataSource(NSTableViewDataSource* s) { mDataSource = s; }  // not retained
  NSTableViewDelegate* delegate() const { return mDelegate; }
  void setDelegate(NSTableViewDelegate* d) { mDelegate = d; }  // not retained
  // Row and column (as columnAtPoint answers) of the last press; -1 when none.
  NSInteger clickedRow() const { return mClickedRow; }
  NSInteger clickedColumn() const { return mClickedColumn; }

  // ---- columns, in display order ----
  const std::vector<NSTableColumn*>& tableColumns() const { return mColumns; }
  NSInteger numberOfColumns() const { return (NSInteger)mColumns.size(); }
  void addTableColumn(NSTableColumn* column);  // retained
  void removeTableColumn(NSTableColumn* column);
  NSInteger indexOfTableColumn(NSTableColumn* column) const;  // -1 when absent
  void moveColumn(NSInteger from, NSInteger to);
  bool allowsColumnReordering() const { return mReorder; }
  void setAllowsColumnReordering(bool on) { mReorder = on; }
  NSTableHeaderView* headerView() const { return mHeader; }
  // Null removes the header.
  void setHeaderView(NSTableHeaderView* header);

  // ---- rows ----
  NSInteger numberOfRows() const;
  // Re-reads the row count and redraws; cells are asked again when drawn.
  virtual void reloadData();
  CGFloat rowHeight() const { return mRowHeight; }
  void setRowHeight(CGFloat h);
  NSSize intercellSpacing() const { return mSpacing; }
  void setIntercellSpacing(NSSize s) { mSpacing = s; }

  // ---- selection ----
  bool allowsMultipleSelection() const { return mMultiple; }
  void setAllowsMultipleSelection(bool on) { mMultiple = on; }
  const NSIndexSet& selectedRowIndexes() const { return mSelection; }
  NSInteger numberOfSelectedRows() const { return (NSInteger)mSelection.size(); }
  bool isRowSelected(NSInteger row) const { return mSelection.count(row) != 0; }
  // The row selected last, -1 when none is selected.
  NSInteger selectedRow() const;
  void selectRowIndexes(const NSIndexSet& rows, bool extend);
  void deselectRow(NSInteger row);
  void deselectAll(NSObject*);
  // Told after the selection changed through the mouse or a call.
  virtual void selectionDidChange() {}

  // ---- geometry (view coordinates) ----
  NSInteger rowAtPoint(NSPoint p) const;     // -1 when none
  virtual NSInteger columnAtPoint(NSPoint p) const;  // display position, -1 when none
  NSRect rectOfRow(NSInteger row) const;
  NSRect rectOfColumn(NSInteger column) const;
  NSRect frameOfCellAtColumn(NSInteger column, NSInteger row) const;
  void scrollRowToVisible(NSInteger row);
  void scrollColumnToVisible(NSInteger column);

  // ---- looks ----
  NSColor* backgroundColor() const { return mBackground; }
  void setBackgroundColor(NSColor* c) { AKAssign(mBackground, c); }
  NSColor* gridColor() const { return mGrid; }
  void setGridColor(NSColor* c) { AKAssign(mGrid, c); }
  NSUInteger gridStyleMask() const { return mGridMask; }
  void setGridStyleMask(NSUInteger m) { mGridMask = m; }
  // Fills the selected rows in the clip rectangle with the highlight colour.
  virtual void highlightSelectionInClipRect(NSRect clip);
  // The text colour of a cell; a subclass may choose its own.
  virtual NSColor* textColorForRow(NSInteger row, bool selected);

  bool acceptsFirstResponder() override { return true; }
  // Up and Down move the selection a row, Page Up and Page Down a page of the rows
  // shown, Home and End to the first and last row; with Shift, where several may
  // be selected, the selection spans from where it was begun to the row reached.
  // The row reached scrolls into view and the delegate hears of a change as of a
  // press. Other keys, and these with Command, Control or Option, go on.
  void keyDown(NSEvent* e) override;
  // A press selects the row under it (alone, or toggled with the Command key or
  // extended with Shift when several may be selected), tells the delegate when
  // that changed the selection, sends the action, and on a second click the
  // double action.
  void mouseDown(NSEvent* e) override;
  void mouseUp(NSEvent*) override {}
  void drawRect(NSRect dirtyRect) override;
  // Asks the data source for the cell's text, hands it to the column's data cell
  // with the table's font, the header's alignment and textColorForRow, and has
  // the cell draw; subclasses may draw more.
  virtual void drawCell(NSTableColumn* column, NSInteger row, NSRect frame, bool selected);

protected:
  ~NSTableView() override;
  // The table's size follows its rows and columns, at least the clip view's.
  void tileSize();
  // The delegate's selection callback of this kind of table.
  virtual void tellSelectionDidChange();
  // The selection a press on the row (-1: none) makes with these modifiers.
  void select(NSInteger row, NSUInteger modifierFlags);
  // mouseDown, telling the delegate when the selection differs from before.
  void pressFrom(NSEvent* e, const NSIndexSet before);
  // The function key of a key event the table may take (an arrow, Home, End, Page
  // Up or Down, with Shift at most), else 0.
  static char16_t movementKey(NSEvent* e);

private:
  friend class NSTableHeaderView;
  NSTableViewDataSource* mDataSource = nullptr;
  NSTableViewDelegate* mDelegate = nullptr;
  NSInteger mClickedRow = -1, mClickedColumn = -1;
  std::vector<NSTableColumn*> mColumns;  // retained
  NSTableHeaderView* mHeader;            // retained, or null
  NSIndexSet mSelection;
  NSInteger mLastSelected = -1;
  NSInteger mAnchor = -1;  // where a Shift extension spans from
  CGFloat mRowHeight = 17;
  NSSize mSpacing{3, 2};
  bool mMultiple = false, mReorder = false;
  NSColor* mBackground = nullptr;
  NSColor* mGrid = nullptr;
  NSUInteger mGridMask = 0;
};

// A table whose rows are items with child items; the rows are the top-level items
// and, below each expanded item, its children. Items are the data source's objects.
class NSOutlineView;
class NSOutlineViewDataSource
{
public:
  virtual ~NSOutlineViewDataSource() = default;
  // item null: the top level.
  virtual NSInteger outlineViewNumberOfChildren(NSOutlineView*, NSObject* item) = 0;
  virtual NSObject* outlineViewChild(NSOutlineView*, NSInteger index, NSObject* item) = 0;
  virtual bool outlineViewIsItemExpandable(NSOutlineView*, NSObject* item) = 0;
  virtual std::string outlineViewObjectValue(NSOutlineView*, NSTableColumn*, NSObject* item) = 0;
};

class NSOutlineView : public NSTableView, private NSTableViewDataSource
{
public:
  explicit NSOutlineView(NSRect frame);
  NSOutlineViewDataSource* outlineDataSource() const { return mOutlineSource; }
  void setOutlineDataSource(NSOutlineViewDataSource* s) { mOutlineSource = s; }  // not retained

  // Walks the data source again: the rows are those of the expanded items.
  void reloadData() override;
  NSObject* itemAtRow(NSInteger row) const;  // null outside the rows
  NSInteger rowForItem(NSObject* item) const;  // -1 when the item shows in no row
  NSInteger levelForRow(NSInteger row) const;
  bool isItemExpanded(NSObject* item) const { return mExpanded.count(item) != 0; }
  void expandItem(NSObject* item);
  void collapseItem(NSObject* item);
  CGFloat indentationPerLevel() const { return mIndent; }
  void setIndentationPerLevel(CGFloat v);

  // A press on an item's triangle opens or closes it; elsewhere it selects.
  void mouseDown(NSEvent* e) override;
  // Right opens the selected item and Left closes it; other keys as a table.
  void keyDown(NSEvent* e) override;
  void drawCell(NSTableColumn* column, NSInteger row, NSRect frame, bool selected) override;

protected:
  void tellSelectionDidChange() override;

private:
  NSInteger numberOfRowsInTableView(NSTableView*) override { return (NSInteger)mRows.size(); }
  std::string tableViewObjectValue(NSTableView*, NSTableColumn* column, NSInteger row) override;
  void walk(NSObject* parent, NSInteger level);

  NSOutlineViewDataSource* mOutlineSource = nullptr;
  std::vector<std::pair<NSObject*, NSInteger>> mRows;  // item and level, not retained
  std::set<NSObject*> mExpanded;                        // not retained
  CGFloat mIndent = 16;
};

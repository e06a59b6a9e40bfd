#pragma once
// A tab view (a strip of labelled tabs over the selected tab's view) and a
// progress indicator, drawn plainly with the kit's drawing.

#include "platform/appkit/BoundedValue.h"
#include "platform/appkit/NSView.h"

#include <vector>

class NSTabView;
class NSTabViewItem;

class NSTabViewDelegate
{
public:
  virtual ~NSTabViewDelegate() = default;
  virtual void tabViewDidSelectTabViewItem(NSTabView*, NSTabViewItem*) {}
};

class NSTabViewItem : public NSObject
{
public:
  NSTabViewItem() = default;
  const std::string& label() const { return mLabel; }
  void setLabel(const std::string& label) { mLabel = label; }
  NSTabView* tabView() const { return mTabView; }

private:
  friend class NSTabView;
  std::string mLabel;
  NSTabView* mTabView = nullptr;  // not retained
};

class NSTabView : public NSView
{
public:
  explicit NSTabView(NSRect frame) : NSView(frame) {}

  NSInteger numberOfTabViewItems() const { return (NSInteger)mItems.size(); }
  NSTabViewItem* tabViewItemAtIndex(NSInteger index) const;
  NSInteger indexOfTabViewItem(NSTabViewItem* item) const;  // -1 when not a tab of the view
  // Retained; at the end when index is past it, at the start when negative. The
  // first tab of an empty view becomes the selection (the delegate is told).
  void insertTabViewItem(NSTabViewItem* item, NSInteger index);
  void addTabViewItem(NSTabViewItem* item) { insertTabViewItem(item, numberOfTabViewItems()); }
  // A selected tab that goes leaves the first remaining one selected.
  void removeTabViewItem(NSTabViewItem* item);
  NSTabViewItem* selectedTabViewItem() const { return mSelected; }
  void selectTabViewItemAtIndex(NSInteger index);
  void selectTabViewItem(NSTabViewItem* item);
  NSTabViewDelegate* delegate() const { return mDelegate; }
  void setDelegate(NSTabViewDelegate* d) { mDelegate = d; }  // not retained

  // The tab under a point of the view's own coordinates, or null.
  NSTabViewItem* tabViewItemAtPoint(NSPoint p) const;
  bool acceptsFirstMouse(NSEvent*) override { return true; }
  void mouseDown(NSEvent* e) override;
  void drawRect(NSRect dirtyRect) override;

protected:
  ~NSTabView() override;

private:
  NSRect tabRect(NSInteger index) const;
  std::vector<NSTabViewItem*> mItems;  // retained
  NSTabViewItem* mSelected = nullptr;  // one of mItems or null
  NSTabViewDelegate* mDelegate = nullptr;
};

class NSProgressIndicator : public NSView
{
public:
  explicit NSProgressIndicator(NSRect frame) : NSView(frame) {}

  double doubleValue() const { return mRange.value; }
  void setDoubleValue(double v);
  double minValue() const { return mRange.min; }
  double maxValue() const { return mRange.max; }
  void setMinValue(double v) { mRange.setMin(v); setNeedsDisplay(true); }
  void setMaxValue(double v) { mRange.setMax(v); setNeedsDisplay(true); }
  void incrementBy(double delta) { setDoubleValue(mRange.value + delta); }
  bool isIndeterminate() const { return mIndeterminate; }
  void setIndeterminate(bool on);
  void startAnimation(NSObject*) { mAnimating = true; }
  void stopAnimation(NSObject*) { mAnimating = false; }
  bool isAnimating() const { return mAnimating; }
  void drawRect(NSRect dirtyRect) override;

private:
  AKBoundedValue mRange{0, 0, 100};
  bool mIndeterminate = false, mAnimating = false;
};

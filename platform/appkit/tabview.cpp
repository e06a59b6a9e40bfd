#include "platform/appkit/NSTabView.h"

#include "platform/appkit/NSEvent.h"

#include <algorithm>
#include <cmath>

namespace {

const CGFloat kTabHeight = 22;

NSFont* tabFont() { return NSFont::systemFontOfSize(12); }

}  // namespace

// ---- NSTabView ----

NSTabView::~NSTabView()
{
  for (NSTabViewItem* item : mItems)
  {
    item->mTabView = nullptr;
    item->release();
  }
}

NSTabViewItem* NSTabView::tabViewItemAtIndex(NSInteger index) const
{
  return index >= 0 && index < numberOfTabViewItems() ? mItems[(size_t)index] : nullptr;
}

NSInteger NSTabView::indexOfTabViewItem(NSTabViewItem* item) const
{
  auto it = std::find(mItems.begin(), mItems.end(), item);
  return it == mItems.end() ? -1 : (NSInteger)(it - mItems.begin());
}

void NSTabView::insertTabViewItem(NSTabViewItem* item, NSInteger index)
{
  if (!item || item->mTabView) return;
  item->retain();
  item->mTabView = this;
  mItems.insert(mItems.begin() + std::max<NSInteger>(0, std::min(index, numberOfTabViewItems())), item);
  if (!mSelected) selectTabViewItem(item);
  setNeedsDisplay(true);
}

void NSTabView::removeTabViewItem(NSTabViewItem* item)
{
  const NSInteger i = indexOfTabViewItem(item);
  if (i < 0) return;
  mItems.erase(mItems.begin() + i);
  item->mTabView = nullptr;
  const bool wasSelected = mSelected == item;
  item->release();
  if (wasSelected)
  {
    mSelected = nullptr;
    if (!mItems.empty()) selectTabViewItem(mItems[0]);
  }
  setNeedsDisplay(true);
}

void NSTabView::selectTabViewItemAtIndex(NSInteger index) { selectTabViewItem(tabViewItemAtIndex(index)); }

void NSTabView::selectTabViewItem(NSTabViewItem* item)
{
  if (!item || item->mTabView != this || item == mSelected) return;
  mSelected = item;
  setNeedsDisplay(true);
  if (mDelegate) mDelegate->tabViewDidSelectTabViewItem(this, item);
}

// Tabs run left to right along the top edge, each as wide as its label.
NSRect NSTabView::tabRect(NSInteger index) const
{
  NSFont* font = tabFont();
  CGFloat x = 6;
  for (NSInteger i = 0; i < index; ++i) x += AKMeasureText(mItems[(size_t)i]->label(), font) + 16;
  const CGFloat w = AKMeasureText(mItems[(size_t)index]->label(), font) + 16;
  const CGFloat top = isFlipped() ? 0 : bounds().size.height - kTabHeight;
  return NSMakeRect(x, top, w, kTabHeight);
}

NSTabViewItem* NSTabView::tabViewItemAtPoint(NSPoint p) const
{
  for (NSInteger i = 0; i < numberOfTabViewItems(); ++i)
    if (NSPointInRect(p, tabRect(i))) return mItems[(size_t)i];
  return nullptr;
}

void NSTabView::mouseDown(NSEvent* e)
{
  if (NSTabViewItem* item = e ? tabViewItemAtPoint(convertPoint(e->locationInWindow(), nullptr)) : nullptr)
    selectTabViewItem(item);
}

void NSTabView::drawRect(NSRect)
{
  const NSRect b = bounds();
  const CGFloat bodyTop = b.size.height - kTabHeight + 4;
  AKGray(0.9)->setFill();
  NSColor::fillRect(NSMakeRect(0, 0, b.size.width, std::max<CGFloat>(0, bodyTop)));
  AKFrameRect(NSMakeRect(0, 0, b.size.width, std::max<CGFloat>(0, bodyTop)), AKGray(0.55));
  NSFont* font = tabFont();
  for (NSInteger i = 0; i < numberOfTabViewItems(); ++i)
  {
    NSRect r = tabRect(i);
    if (isFlipped()) r.origin.y = b.size.height - NSMaxY(r);
    const bool selected = mItems[(size_t)i] == mSelected;
    (selected ? AKGray(0.97) : AKGray(0.82))->setFill();
    NSColor::fillRect(r);
    AKFrameRect(r, AKGray(0.55));
    AKDrawTextLine(mItems[(size_t)i]->label(), font, NSMakePoint(r.origin.x + 8, r.origin.y + 7), AKGray(0.05));
  }
}

// ---- NSProgressIndicator ----

void NSProgressIndicator::setDoubleValue(double v)
{
  mRange.set(v);
  setNeedsDisplay(true);
}

void NSProgressIndicator::setIndeterminate(bool on)
{
  mIndeterminate = on;
  setNeedsDisplay(true);
}

void NSProgressIndicator::drawRect(NSRect)
{
  const NSRect b = bounds();
  AKGray(0.92)->setFill();
  NSColor::fillRect(b);
  AKFrameRect(b, AKGray(0.5));
  const double t = mIndeterminate ? 0 : mRange.fraction();
  NSColor::colorWithCalibratedRed(0.25, 0.5, 0.9, 1)->setFill();
  NSColor::fillRect(NSMakeRect(1, 1, std::floor(t * std::max<CGFloat>(0, b.size.width - 2)), b.size.height - 2));
}

// The children a window view reports to accessibility once its procedure supplies
// an element: its subviews (the shown ones for the visible list) and the element,
// ignored ones left out, the same list answered while nothing changed.

#include "wnd_test_util.h"

#include "platform/appkit/NSArray.h"

namespace {

class ChildElement : public NSObject, public SWELL_AccessibilityElement
{
public:
  bool ignored = false;
  NSObject* accessibilityHitTest(NSPoint) override { return this; }
  NSObject* accessibilityFocusedUIElement() override { return this; }
  bool accessibilityIsIgnored() override { return ignored; }
};

using Objects = std::vector<NSObject*>;

TEST_F(WndTest, AccessibilityChildrenAddTheProceduresElement)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 200));
  const HWND parent = Child(top, NSMakeRect(0, 0, 180, 180));
  const HWND a = Child(parent, NSMakeRect(10, 10, 40, 40));
  const HWND hidden = Child(parent, NSMakeRect(60, 10, 40, 40));
  ShowWindow(hidden, SW_HIDE);
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(parent);
  NSObject *oa = SWELL_Object(a), *oh = SWELL_Object(hidden);

  // Without an element: the subviews as they are, nothing kept.
  NSAutoreleasePool pool;
  EXPECT_EQ(v->accessibilityAttributeValue(NSAccessibilityChildrenAttribute)->objects(), (Objects{oa, oh}));
  EXPECT_EQ(v->accessibilityAttributeValue(NSAccessibilityVisibleChildrenAttribute)->objects(), (Objects{oa}));
  EXPECT_EQ(v->accessibilityAttributeValue("title"), nullptr);

  ChildElement* e = new ChildElement;
  log.handlers[{parent, WM_GETOBJECT}] = [e](HWND, WPARAM, LPARAM lp) {
    *(NSObject**)lp = e;
    return (LRESULT)0;
  };
  NSArray* first = v->accessibilityAttributeValue(NSAccessibilityChildrenAttribute);
  EXPECT_EQ(first->objects(), (Objects{oa, oh, e}));
  EXPECT_EQ(v->accessibilityAttributeValue(NSAccessibilityChildrenAttribute), first) << "kept while nothing changed";
  NSArray* shown = v->accessibilityAttributeValue(NSAccessibilityVisibleChildrenAttribute);
  EXPECT_EQ(shown->objects(), (Objects{oa, e})) << "each attribute has its own list";
  EXPECT_EQ(v->accessibilityAttributeValue(NSAccessibilityChildrenAttribute), first);

  // A new subview makes a new list; an ignored child without subviews drops out
  // (a child view with an element and no subviews is ignored).
  const HWND b = Child(parent, NSMakeRect(110, 10, 40, 40));
  ChildElement* be = new ChildElement;
  log.handlers[{b, WM_GETOBJECT}] = [be](HWND, WPARAM, LPARAM lp) {
    *(NSObject**)lp = be;
    return (LRESULT)0;
  };
  NSArray* second = v->accessibilityAttributeValue(NSAccessibilityChildrenAttribute);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->objects(), (Objects{oa, oh, e}));
  // An ignored element of the view itself is left out too.
  e->ignored = true;
  const HWND c = Child(parent, NSMakeRect(110, 60, 40, 40));
  EXPECT_EQ(v->accessibilityAttributeValue(NSAccessibilityChildrenAttribute)->objects(),
            (Objects{oa, oh, SWELL_Object(c)}));

  // The element gone: the view's own answer, and the kept lists let go of it.
  log.handlers.erase({parent, WM_GETOBJECT});
  const int before = e->retainCount();
  v->accessibilityAttributeValue(NSAccessibilityChildrenAttribute);
  v->accessibilityAttributeValue(NSAccessibilityVisibleChildrenAttribute);
  EXPECT_EQ(e->retainCount(), before - 2) << "each triple held the element once";
  log.handlers.clear();
  e->release();
  be->release();
}

}  // namespace

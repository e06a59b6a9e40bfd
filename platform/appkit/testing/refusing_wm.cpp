// A window manager that refuses every change of place (ICCCM 4.1.5): it maps what is
// asked, with WM_STATE normal, and answers each ConfigureRequest with a synthetic
// ConfigureNotify of the place the window has, unchanged. No frames. As some managers
// do, it gives every window it maps the keyboard, unless the window's input hint says
// it takes none (ICCCM 4.1.7): then the window it is transient for gets it.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

int main()
{
  Display* d = XOpenDisplay(nullptr);
  if (!d) return 1;
  XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });  // a window gone meanwhile
  const Window root = DefaultRootWindow(d);
  XSelectInput(d, root, SubstructureRedirectMask | SubstructureNotifyMask);
  XSync(d, False);
  const Atom wmState = XInternAtom(d, "WM_STATE", False);
  for (;;)
  {
    XEvent e;
    XNextEvent(d, &e);
    if (e.type == MapRequest)
    {
      const long state[2] = {NormalState, None};
      XChangeProperty(d, e.xmaprequest.window, wmState, wmState, 32, PropModeReplace, (const unsigned char*)state, 2);
      XMapWindow(d, e.xmaprequest.window);
      // One that takes none: the window it belongs to gets the keyboard instead.
      XWMHints* hints = XGetWMHints(d, e.xmaprequest.window);
      Window owner = None;
      if (!hints || !(hints->flags & InputHint) || hints->input)
        XSetInputFocus(d, e.xmaprequest.window, RevertToPointerRoot, CurrentTime);
      else if (XGetTransientForHint(d, e.xmaprequest.window, &owner) && owner != None)
        XSetInputFocus(d, owner, RevertToPointerRoot, CurrentTime);
      if (hints) XFree(hints);
    }
    else if (e.type == UnmapNotify && e.xunmap.send_event)
      XDeleteProperty(d, e.xunmap.window, wmState);  // withdrawn (ICCCM 4.1.4)
    else if (e.type == ConfigureRequest)
    {
      Window r;
      int x, y;
      unsigned w, h, border, depth;
      if (!XGetGeometry(d, e.xconfigurerequest.window, &r, &x, &y, &w, &h, &border, &depth)) continue;
      XEvent c{};
      c.xconfigure.type = ConfigureNotify;
      c.xconfigure.event = c.xconfigure.window = e.xconfigurerequest.window;
      c.xconfigure.x = x;
      c.xconfigure.y = y;
      c.xconfigure.width = (int)w;
      c.xconfigure.height = (int)h;
      c.xconfigure.border_width = (int)border;
      XSendEvent(d, e.xconfigurerequest.window, False, StructureNotifyMask, &c);
    }
    XFlush(d);
  }
}

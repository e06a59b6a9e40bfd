// Keyboard translation and the mouse cursor.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/appkit/Presenter.h"
#include "platform/carbon/TextInputSources.h"
#include "platform/coregraphics/CGDisplay.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/keyboard.h"
#include "winsys/wnd/wnd.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <string>
#include <strings.h>
#include <vector>

SWELL_CursorResourceIndex* SWELL_curmodule_cursorresource_head = nullptr;

namespace {

int modifierFlags(NSUInteger m)
{
  int f = 0;
  if (m & NSShiftKeyMask) f |= FSHIFT;
  if (m & NSCommandKeyMask) f |= FCONTROL;
  if (m & NSAlternateKeyMask) f |= FALT;
  if ((m & NSControlKeyMask) && !IsRightClickEmulateEnabled()) f |= FLWIN;
  return f;
}

int keyTable(unsigned k)
{
  switch (k)
  {
    case 51: return VK_BACK;
    case 65: return VK_DECIMAL;
    case 67: return VK_MULTIPLY;
    case 69: return VK_ADD;
    case 71: return VK_NUMLOCK;
    case 75: return VK_DIVIDE;
    case 76: return VK_RETURN | 0x8000;  // keypad enter
    case 78: return VK_SUBTRACT;
    case 81: return VK_SEPARATOR;
    case 91: return VK_NUMPAD8;
    case 92: return VK_NUMPAD9;
    case 96: return VK_F5;
    case 97: return VK_F6;
    case 98: return VK_F7;
    case 99: return VK_F3;
    case 100: return VK_F8;
    case 101: return VK_F9;
    case 103: return VK_F11;
    case 105: return VK_SNAPSHOT;
    case 109: return VK_F10;
    case 111: return VK_F12;
    case 114: return VK_INSERT;
    case 115: return VK_HOME;
    case 116: return VK_PRIOR;
    case 117: return VK_DELETE;
    case 118: return VK_F4;
    case 119: return VK_END;
    case 120: return VK_F2;
    case 121: return VK_NEXT;
    case 122: return VK_F1;
    case 123: return VK_LEFT;
    case 124: return VK_RIGHT;
    case 125: return VK_DOWN;
    case 126: return VK_UP;
    default:
      if (k >= 82 && k <= 89) return VK_NUMPAD0 + (int)(k - 82);
      return 0;
  }
}

NSEvent* currentEvent() { return NSApplication::exists() ? NSApp->currentEvent() : nullptr; }

// The character the current keyboard layout gives the key without modifiers; a
// dead key gives its own (its press followed by a space). 0 for none.
int layoutCharacter(unsigned k)
{
  TISInputSourceRef source = TISCopyCurrentKeyboardInputSource();
  if (!source) return 0;
  int c = 0;
  if (CFDataRef data = (CFDataRef)TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData))
  {
    const UCKeyboardLayout* layout = (const UCKeyboardLayout*)CFDataGetBytePtr(data);
    UInt32 dead = 0;
    UniChar chars[255];
    UniCharCount n = 0;
    OSStatus err = UCKeyTranslate(layout, (UInt16)k, kUCKeyActionDown, 0, LMGetKbdType(), 0, &dead, 255, &n, chars);
    if (err == noErr && !n && dead)
      err = UCKeyTranslate(layout, kVK_Space, kUCKeyActionDown, 0, LMGetKbdType(), 0, &dead, 255, &n, chars);
    if (err == noErr && n) c = chars[0];
  }
  CFRelease(source);
  return c;
}

}  // namespace

int SWELL_MacKeyToWindowsKeyEx(NSEvent* event, int* flags, int mode)
{
  if (!event) event = currentEvent();
  if (!event) return 0;
  int f = modifierFlags(event->modifierFlags());
  const unsigned k = event->keyCode() & 0xFFFF;
  if (k >= 51 && k <= 126)
    if (const int vk = keyTable(k))
    {
      if (flags) *flags = f | FVIRTKEY;
      return vk;
    }
  const std::u16string& chars =
      mode == 1 && !event->characters().empty() ? event->characters() : event->charactersIgnoringModifiers();
  int code;
  if (!chars.empty())
  {
    int c = chars[0];
    if (c >= 'a' && c <= 'z') c += 'A' - 'a';
    if ((f & FSHIFT) && c == 25) c = 9;
    if (std::iswalnum((wint_t)c) || c == 9 || c == 10 || c == 13 || c == 27 || c == 32) f |= FVIRTKEY;
    else f &= ~FSHIFT;
    code = c;
  }
  else if (const int c = mode == 1 ? layoutCharacter(k) : 0)
  {
    code = c;
    f &= ~FSHIFT;
  }
  else
  {
    code = (int)k + 1024;
    f |= FVIRTKEY;
  }
  if (flags) *flags = f;
  return code;
}

int SWELL_MacKeyToWindowsKey(NSEvent* event, int* flags)
{
  return event ? SWELL_MacKeyToWindowsKeyEx(event, flags, 0) : 0;
}

int SWELL_KeyToASCII(int key, int flags, int* outFlags)
{
  static const char shifted[] = ")!@#$%^&*(";
  if (key >= '0' && key <= '9' && flags == (FVIRTKEY | FSHIFT))
  {
    if (outFlags) *outFlags = 0;
    return shifted[key - '0'];
  }
  return 0;
}

short GetAsyncKeyState(int vk)
{
  bool down = false;
  if (vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON)
    down = (NSEvent::pressedMouseButtons() >> (vk == VK_MBUTTON ? 2 : vk - 1)) & 1;
  else
  {
    // The keys held now, as the session has them: a key let go before an older event
    // is handled is not held in its handler. A presenter that hears of the keys only
    // through events (headless) adds those of the event being handled.
    NSUInteger m = (NSUInteger)CGEventSourceFlagsState(kCGEventSourceStateCombinedSessionState);
    NSEvent* e = currentEvent();
    const NSPresenter* p = e ? NSApp->presenter() : nullptr;
    if (e && !(p && p->modifierFlagsAreTheDisplays())) m |= e->modifierFlags();
    if (vk == VK_SHIFT) down = m & NSShiftKeyMask;
    else if (vk == VK_CONTROL) down = m & NSCommandKeyMask;
    else if (vk == VK_MENU) down = m & NSAlternateKeyMask;
    else if (vk == VK_LWIN) down = (m & NSControlKeyMask) && !IsRightClickEmulateEnabled();
  }
  return down ? (short)0x8000 : 0;
}

// ---- cursors ----

namespace {

const char* const kImageA[16] = {
    "000000000000f8fffff8000000000000", "0000000000f8ff0f0ffff80000000000", "0000000000ff0f0f0f0fff0000000000",
    "00000000f80f0f0f0f0f0ff800000000", "000000f80000ff0f0fff0000f8000000", "00f8ff0f0000ff0f0fff00000ffff800",
    "f8ff0f0fffffff0f0fffffff0f0ffff8", "ff0f0f0f0f0f0f0f0f0f0f0f0f0f0fff", "ff0f0f0f0f0f0f0f0f0f0f0f0f0f0fff",
    "f8ff0f0fffffff0f0fffffff0f0ffff8", "00f8ff0f0000ff0f0fff00000ffff800", "000000f80000ff0f0fff0000f8000000",
    "00000000f80f0f0f0f0f0ff800000000", "0000000000ff0f0f0f0fff0000000000", "0000000000f8ff0f0ffff80000000000",
    "000000000000f8fffff8000000000000"};
const char* const kImageB[16] = {
    "ffffffffffff00000000000000000000", "fff8f8f8fff800000000000000000000", "fff80ffff80000000000000000000000",
    "fff8ff0ffff800000000000000000000", "fffff8ff0ffff8000000000000000000", "fff800f8ff0ffff80000000000000000",
    "00000000f8ff0ffff800000000000000", "0000000000f8ff0ffff8000000000000", "000000000000f8ff0ffff80000000000",
    "00000000000000f8ff0ffff800000000", "0000000000000000f8ff0ffff800f8ff", "000000000000000000f8ff0ffff8ffff",
    "00000000000000000000f8ff0ffff8ff", "0000000000000000000000f8ff0ff8ff", "00000000000000000000f8fff8f8f8ff",
    "00000000000000000000ffffffffffff"};

// Each byte: grey level in the high nibble, opacity in the low one.
NSCursor* builtIn(const char* const rows[16], bool mirrored)
{
  std::vector<uint32_t> px(256);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
    {
      const int sx = mirrored ? 15 - x : x;
      unsigned b = 0;
      sscanf(rows[y] + sx * 2, "%2x", &b);
      const uint32_t grey = (b & 0xF0) | (b >> 4), alpha = ((b << 4) & 0xF0) | (b & 0x0F);
      px[(size_t)y * 16 + x] = alpha << 24 | grey << 16 | grey << 8 | grey;
    }
  NSImage* img = new NSImage(16, 16, std::move(px));
  NSCursor* c = new NSCursor(img, NSMakePoint(8, 8));
  img->release();
  return c;
}

NSCursor* m_last_setcursor = nullptr;
int m_curvis_cnt = 0;
bool g_swell_mouse_relmode = false;
POINT g_swell_mouse_relmode_curpos{0, 0};
std::string s_cursorFolder;

uint16_t le16(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }

std::string moduleFolder()
{
  if (!s_cursorFolder.empty()) return s_cursorFolder;
  Dl_info info;
  if (!dladdr((void*)&SWELL_LoadCursorFromFile, &info) || !info.dli_fname) return ".";
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// A .cur of one image becomes an icon file in a private temporary file (made
// with O_EXCL under a random name, so no other user can place or read it), which
// the image loader then reads.
NSImage* loadCurFile(const std::string& path, POINT* hotspot)
{
  FILE* fp = fopen(path.c_str(), "rb");
  if (!fp) return nullptr;
  NSImage* img = nullptr;
  unsigned char hdr[6], entry[16];
  if (fread(hdr, 1, 6, fp) == 6 && le16(hdr) == 0 && le16(hdr + 2) == 2 && le16(hdr + 4) == 1 &&
      fread(entry, 1, 16, fp) == 16 && entry[3] == 0)
  {
    const char* tmp = getenv("TEMP");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/swellcurXXXXXX.ico";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back(0);
    const int fd = mkstemps(buf.data(), 4);
    if (fd >= 0)
    {
      const POINT hs{le16(entry + 4), le16(entry + 6)};
      hdr[2] = 1;  // an icon
      entry[4] = 1;
      entry[5] = entry[6] = entry[7] = 0;
      bool ok = write(fd, hdr, 6) == 6 && write(fd, entry, 16) == 16;
      unsigned char chunk[4096];
      size_t n;
      while (ok && (n = fread(chunk, 1, sizeof chunk, fp)) > 0) ok = write(fd, chunk, n) == (ssize_t)n;
      ok = close(fd) == 0 && ok;
      if (ok) img = NSImage::imageWithContentsOfFile(buf.data());
      unlink(buf.data());
      if (img && hotspot) *hotspot = hs;
    }
  }
  fclose(fp);
  return img;
}

NSImage* imageFromName(const char* name, POINT* hotspot)
{
  if (!name) return nullptr;
  std::string path;
  const size_t len = strlen(name);
  const bool bare = !strchr(name, '/');
  if (bare && len < 1024) path = moduleFolder() + "/" + name + ".cur";
  else if (len >= 5 && !strcasecmp(name + len - 4, ".cur")) path = name;
  else return NSImage::imageWithContentsOfFile(name);
  if (NSImage* img = loadCurFile(path, hotspot)) return img;
  return bare ? AKRetain(NSImage::imageNamed(name)) : NSImage::imageWithContentsOfFile(path);
}

}  // namespace

void SWELL_SetCursorResourceFolder(const char* folder) { s_cursorFolder = folder ? folder : ""; }

HCURSOR SWELL_LoadCursor(const char* idp)
{
  static NSCursor* carr[3] = {};
  const intptr_t id = (intptr_t)idp;
  switch (id)
  {
    case -1007:
      if (!carr[2]) carr[2] = builtIn(kImageB, true);
      return carr[2];
    case -1006:
      if (!carr[1]) carr[1] = builtIn(kImageB, false);
      return carr[1];
    case -1005: return NSCursor::IBeamCursor();
    case -1004: return NSCursor::resizeUpCursor();
    case -1003: return nullptr;
    case -1002:
      if (!carr[0]) carr[0] = builtIn(kImageA, false);
      return carr[0];
    case -1001: return NSCursor::resizeUpDownCursor();
    case -1000: return NSCursor::resizeLeftRightCursor();
    case -999: return NSCursor::arrowCursor();
    case IDC_HAND: return NSCursor::openHandCursor();
    default: break;
  }
  for (SWELL_CursorResourceIndex* r = SWELL_curmodule_cursorresource_head; r; r = r->_next)
  {
    if (r->resid != idp) continue;
    if (r->cachedCursor) return r->cachedCursor;
    NSImage* img = imageFromName(r->resname, &r->hotspot);
    if (!img) continue;
    r->cachedCursor = new NSCursor(img, NSMakePoint(r->hotspot.x, r->hotspot.y));
    img->release();
    return r->cachedCursor;
  }
  return nullptr;
}

HCURSOR SWELL_LoadCursorFromFile(const char* path)
{
  POINT hs{0, 0};
  NSImage* img = imageFromName(path, &hs);
  if (!img) return nullptr;
  NSCursor* c = new NSCursor(img, NSMakePoint(hs.x, hs.y));
  img->release();
  return c;
}

void SWELL_SetCursor(HCURSOR c)
{
  if (c)
  {
    m_last_setcursor = c;
    c->set();
  }
  else
  {
    m_last_setcursor = nullptr;
    NSCursor::arrowCursor()->set();
  }
}

HCURSOR SWELL_GetCursor() { return NSCursor::currentCursor(); }
HCURSOR SWELL_GetLastSetCursor() { return m_last_setcursor; }

int SWELL_ShowCursor(bool show)
{
  m_curvis_cnt += show ? 1 : -1;
  if (!show && m_curvis_cnt == -1)
  {
    if (!g_swell_mouse_relmode) GetCursorPos(&g_swell_mouse_relmode_curpos);
    CGDisplayHideCursor(CGMainDisplayID());
    CGAssociateMouseAndMouseCursorPosition(false);
    g_swell_mouse_relmode = true;
  }
  else if (show && m_curvis_cnt == 0)
  {
    CGDisplayShowCursor(CGMainDisplayID());
    CGAssociateMouseAndMouseCursorPosition(true);
    g_swell_mouse_relmode = false;
    SWELL_SetCursorPos(g_swell_mouse_relmode_curpos.x, g_swell_mouse_relmode_curpos.y);
  }
  return m_curvis_cnt;
}

bool SWELL_IsCursorVisible() { return m_curvis_cnt >= 0; }

bool SWELL_SetCursorPos(int x, int y)
{
  if (g_swell_mouse_relmode)
  {
    g_swell_mouse_relmode_curpos = POINT{x, y};
    return true;
  }
  const double h = (double)CGDisplayPixelsHigh(CGMainDisplayID());
  return CGDisplayMoveCursorToPoint(CGMainDisplayID(), CGPoint{(CGFloat)x, h - y}) == kCGErrorSuccess;
}

POINT SWELL_ScreenPoint(NSPoint p) { return POINT{(int)std::floor(p.x), (int)-std::floor(-p.y)}; }

void GetCursorPos(POINT* pt)
{
  if (!pt) return;
  *pt = g_swell_mouse_relmode ? g_swell_mouse_relmode_curpos : SWELL_ScreenPoint(NSEvent::mouseLocation());
}

DWORD GetMessagePos()
{
  // Where the event being handled happened, not where the pointer went since.
  NSEvent* e = currentEvent();
  NSPoint at;
  POINT p;
  if (!g_swell_mouse_relmode && e && e->locationOnScreen(&at)) p = SWELL_ScreenPoint(at);
  else GetCursorPos(&p);
  return (DWORD)SWELL_PackPoint(p.x, p.y);
}

CGPoint swellProcessMouseEvent(int msg, NSView* view, NSEvent* event)
{
  if (g_swell_mouse_relmode)
  {
    if (msg == WM_MOUSEMOVE && event)
    {
      g_swell_mouse_relmode_curpos.x += (int)event->deltaX();
      g_swell_mouse_relmode_curpos.y -= (int)event->deltaY();
    }
    POINT p = g_swell_mouse_relmode_curpos;
    ScreenToClient(SWELL_HWND(view), &p);
    return CGPoint{(CGFloat)p.x, (CGFloat)p.y};
  }
  if (!event || !view) return CGPoint{0, 0};
  return view->convertPoint(event->locationInWindow(), nullptr);
}

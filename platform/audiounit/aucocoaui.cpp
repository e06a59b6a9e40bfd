#include "platform/audiounit/AUCocoaUIView.h"

#include <string>

const AUCocoaUIClass* AUCocoaUIClassNamed(CFBundleRef bundle, CFStringRef className)
{
  const char* name = CFStringGetCStringPtr(className, kCFStringEncodingUTF8);
  if (!bundle || !name || !*name) return nullptr;
  CFStringRef symbol = CFStringCreateWithCString(nullptr, (std::string(AU_COCOA_UI_CLASS_SYMBOL_PREFIX) + name).c_str(),
                                                 kCFStringEncodingUTF8);
  const AUCocoaUIClass* cls = static_cast<const AUCocoaUIClass*>(CFBundleGetDataPointerForName(bundle, symbol));
  CFRelease(symbol);
  return cls && cls->make && cls->name && std::string(cls->name) == name ? cls : nullptr;
}

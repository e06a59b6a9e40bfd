#pragma once
// The window kit: our stand-in for the platform's application kit (see
// shared/appkit.md). One object model under the editor's view, the window-system
// layer and the test host.

#include "platform/appkit/Foundation.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"

// The adapter's factory, as the plug-in library has it.
#include "EditorTestSupport.h"

IPlugAU* MakePlug() { return new EditorUnderTest(); }

#pragma once
// Hands the configuration reader the graphics object's ways to load resources and
// images: its resources come through IGraphics::LoadFile, its images go into the
// bitmap store at the editor's scale (or, while it clears its image cache, out of it).

class IGraphics;
class UIConfigManager;

void connectConfigToGraphics(UIConfigManager* config, IGraphics* graphics);

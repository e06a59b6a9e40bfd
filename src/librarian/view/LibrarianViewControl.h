#pragma once
// The librarian grid: two banks of 128 program names, the upper one (edited and
// stored into) above the lower one (copied from). Selecting, sending by double click
// or arrow key, dragging a lower program onto an upper slot, copy and paste through
// the slot menus, and opening the rename box of an upper slot.
//
// Threads: main thread only (the window's events, the parameter dispatch).

#include "gui/IControls.h"
#include "librarian/LibrarianTypes.h"

#include <atomic>
#include <memory>

class LICE_MemBitmap;
class LibrarianViewHost;
class PatchLibrarian;

// An overlay that takes the mouse anywhere in its rectangle.
class CustomOverlayControl : public IBitmapOverlayControl
{
public:
  CustomOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap, const IRECT& rect);
  bool IsHit(int x, int y) override { return mRECT.Contains(x, y); }
};

class LibrarianViewControl : public CustomOverlayControl
{
public:
  static const int kSlots = 128;

  // plugBase and plug are the controller (the first for the control base, the second
  // for what the grid asks of it); rect is the control's rectangle.
  LibrarianViewControl(IPlugBase* plugBase, LibrarianViewHost* plug, int x, int y, int paramIdx,
                       const IBitmap* bitmap, const IRECT& rect, PatchLibrarian* librarian, double scale);
  ~LibrarianViewControl() override;

  void OnMouseDown(int x, int y, IMouseMod* mod) override;
  void OnMouseUp(int x, int y, IMouseMod* mod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
  bool OnKeyDown(int x, int y, int key) override;
  bool Draw(IGraphics* graphics) override;

  // Reload a column's names from the bank its librarian index selects.
  void patchSelectionUpperChanged();
  void patchSelectionLowerChanged();
  // The slot menus' entries, at the point of the right click.
  void renameSlot(int x, int y);
  void CopySlotData(int x, int y);
  void PasteSlotData(int x, int y);

  // Slot i of a column (0 upper) as drawn; slot outside 0..127 gives an empty rect.
  IRECT slotRect(int column, int slot) const;
  // The slot under the point in a column, or -1.
  int slotAt(int column, int x, int y) const;
  // The text shown in a slot.
  const char* slotText(int column, int slot) const;

  PatchLibrarian* librarian;  // not owned
  ITextControl* upperSlots[kSlots] = {};
  ITextControl* lowerSlots[kSlots] = {};
  std::atomic<bool> dragEnabled{false};
  IRECT dragRect;
  bool dragging = false;
  int slotWidth, slotHeight;
  int copySourceFileIndex = -1;
  int copySourceSlot = -1;
  LibrarianViewHost* plug;  // not owned
  double scale;
  std::atomic<int> upperSelected{0};
  std::atomic<int> lowerSelected{-1};
  std::atomic<int> activeColumn{0};
  std::atomic<int> currentSlot{0};
  int copyValid = -1;
  std::atomic<bool> renaming{false};
  // The program taken at copy time: a paste stores what was copied, whatever the
  // lower column shows by then.
  std::unique_ptr<LibrarianPatch> copiedPatch;
  // False draws every pass the plain way (the twin the cached pass is tested against).
  bool drawCacheEnabled = true;

private:
  // What a cached picture of the grid depends on besides its fixed bitmap and rect.
  struct DrawKey
  {
    const void* target;
    int upper, lower;
    unsigned generation;
    bool operator==(const DrawKey& o) const
    {
      return target == o.target && upper == o.upper && lower == o.lower && generation == o.generation;
    }
  };
  void drawPlain(IGraphics* graphics);
  // The picture can stand for the pass when the grid's own bitmap covers its whole
  // rectangle opaquely: nothing drawn beneath then shows through.
  bool cacheUsable();
  void fillColumn(int column);
  // Both selections to -1, then the slot under the point: true when one was hit.
  bool hitTest(int x, int y);
  // Grey "saveChangesLayer" after a hit in the lower bank, restore it after one in the upper.
  void greySaveButtonsForHit();
  void selectSlotsInLibrarian();
  // Stores a program into the librarian's selected slot of the upper bank through
  // the controller's system-exclusive entry, as a program from the hardware.
  void storeIntoUpper(const LibrarianPatch* source);
  // The bank the lower column shows now, or null.
  PatchFile* lowerBank() const;

  int mUpperTop, mLowerTop, mLeft, mColumnStep, mTextWidth;
  int mLastHitColumn = -1;
  // Where the left button went down: a drag takes the program from there, however far
  // the mouse has moved by the first drag event.
  int mPressX = -1, mPressY = -1;
  std::unique_ptr<LICE_MemBitmap> mCache;
  DrawKey mCacheKey{};
  bool mCacheValid = false;
  int mOpaque = -1;  // -1 not yet known
  std::atomic<unsigned> mGeneration{0};  // counts column reloads
};

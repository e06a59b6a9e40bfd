#include "librarian/view/LibrarianViewControl.h"

#include "config/ParamIds.h"
#include "gui/IGraphics.h"
#include "librarian/LibrarianViewHost.h"
#include "librarian/PatchLibrarian.h"
#include "raster/lice.h"

#include <algorithm>
#include <cstring>

namespace {

const IColor kHighlight(255, 225, 225, 225);
const IColor kWhite(255, 255, 255, 255);
const IColor kBlack(255, 0, 0, 0);
const char* const kSaveChangesLayer = "saveChangesLayer";

}  // namespace

CustomOverlayControl::CustomOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                                           const IRECT& rect)
  : IBitmapOverlayControl(plug, x, y, paramIdx, bitmap, rect)
{
  mRECT = rect;
  mTargetRECT = rect;
}

LibrarianViewControl::LibrarianViewControl(IPlugBase* plugBase, LibrarianViewHost* host, int x, int y, int paramIdx,
                                           const IBitmap* bitmap, const IRECT& rect, PatchLibrarian* lib,
                                           double s)
  : CustomOverlayControl(plugBase, x, y, paramIdx, bitmap, rect), librarian(lib), plug(host), scale(s)
{
  slotWidth = (int)(97 * s);
  slotHeight = (int)(16 * s);
  mTextWidth = s == 1.0 ? 97 : (int)(98 * s);
  mLeft = x + (int)(30 * s);
  mColumnStep = mTextWidth + (int)(30 * s);
  mUpperTop = y + 1;
  mLowerTop = (int)(y + 303 * s) + (s < 1.0 ? 2 : s > 1.0 ? 1 : 0);

  const IText text((int)(13 * s), kWhite, "NK57 Monospace", IText::kStyleNormal, IText::kAlignNear);
  for (int i = 0; i < kSlots; ++i) upperSlots[i] = new ITextControl(plugBase, slotRect(0, i), &text, "");
  patchSelectionUpperChanged();
  for (int i = 0; i < kSlots; ++i) lowerSlots[i] = new ITextControl(plugBase, slotRect(1, i), &text, "");
  patchSelectionLowerChanged();
}

LibrarianViewControl::~LibrarianViewControl()
{
  // The cache is a unique_ptr of a type complete here.
  for (int i = 0; i < kSlots; ++i)
  {
    delete upperSlots[i];
    delete lowerSlots[i];
  }
}

IRECT LibrarianViewControl::slotRect(int column, int slot) const
{
  if (slot < 0 || slot >= kSlots) return IRECT();
  const int left = mLeft + (slot / 16) * mColumnStep;
  const int top = (column ? mLowerTop : mUpperTop) + (slot % 16) * slotHeight;
  return IRECT(left, top, left + mTextWidth, top + slotHeight);
}

int LibrarianViewControl::slotAt(int column, int x, int y) const
{
  ITextControl* const* slots = column ? lowerSlots : upperSlots;
  for (int i = 0; i < kSlots; ++i)
    if (slots[i] && slots[i]->GetRECT().Contains(x, y)) return i;
  return -1;
}

const char* LibrarianViewControl::slotText(int column, int slot) const
{
  if (slot < 0 || slot >= kSlots) return "";
  ITextControl* t = column ? lowerSlots[slot] : upperSlots[slot];
  return t ? t->GetTextForPlug() : "";
}

PatchFile* LibrarianViewControl::lowerBank() const
{
  if (!librarian) return nullptr;
  const std::vector<PatchFile*>& list = plug && plug->librarianSearchActive() ? librarian->searchResultFiles
                                                                               : librarian->patchFiles;
  const int index = librarian->lowerFileIndex;
  return (unsigned)index < list.size() ? list[(size_t)index] : nullptr;
}

void LibrarianViewControl::fillColumn(int column)
{
  SetDirty(true);
  if (!librarian) return;
  ITextControl** slots = column ? lowerSlots : upperSlots;
  std::vector<std::string> names;
  {
    WDL_MutexLock lock(&librarian->libraryMutex);
    PatchFile* bank = column ? lowerBank() : librarian->bankAt(librarian->upperFileIndex);
    // A list with no bank at all (a search that found nothing, a bank folder
    // emptied): the column is empty, not the programs of banks that are gone.
    // A bad index into a list that has banks leaves the texts.
    const bool searchColumn = column && plug && plug->librarianSearchActive();
    const bool none = (searchColumn ? librarian->searchResultFiles : librarian->patchFiles).empty();
    if (!bank && !none) return;
    if (bank)
      for (const LibrarianPatch& p : bank->patches) names.push_back(p.name);
  }
  for (int i = 0; i < kSlots; ++i)
    if (slots[i]) slots[i]->SetTextFromPlug((size_t)i < names.size() ? names[(size_t)i].c_str() : "");
  ++mGeneration;
}

void LibrarianViewControl::patchSelectionUpperChanged()
{
  fillColumn(0);
  // Both columns on one bank: what changed in the upper one changed in the lower.
  bool same = false;
  if (librarian)
  {
    WDL_MutexLock lock(&librarian->libraryMutex);
    const PatchFile* upper = librarian->bankAt(librarian->upperFileIndex);
    same = upper && upper == lowerBank();
  }
  if (same) fillColumn(1);
}

void LibrarianViewControl::patchSelectionLowerChanged() { fillColumn(1); }

bool LibrarianViewControl::hitTest(int x, int y)
{
  upperSelected = -1;
  lowerSelected = -1;
  mLastHitColumn = -1;
  if (int slot = slotAt(0, x, y); slot >= 0)
  {
    upperSelected = slot;
    activeColumn = 0;
    mLastHitColumn = 0;
  }
  else if ((slot = slotAt(1, x, y)) >= 0)
  {
    lowerSelected = slot;
    activeColumn = 1;
    mLastHitColumn = 1;
  }
  return mLastHitColumn >= 0;
}

void LibrarianViewControl::greySaveButtonsForHit()
{
  if (!plug) return;
  if (mLastHitColumn == 0)
    plug->grayLayerNamed(kSaveChangesLayer, false);
  else if (mLastHitColumn == 1)
    plug->grayLayerNamed(kSaveChangesLayer, true);
}

void LibrarianViewControl::selectSlotsInLibrarian()
{
  if (!librarian) return;
  librarian->selectedSlot = upperSelected.load();
  librarian->lowerSelectedSlot = lowerSelected.load();
}

void LibrarianViewControl::OnMouseDown(int x, int y, IMouseMod* mod)
{
  if (plug) plug->dropControlLine();
  if (mod && mod->R)
  {
    SetDirty(true);
    hitTest(x, y);
    greySaveButtonsForHit();
    selectSlotsInLibrarian();
    // The slot menu's "Program by Slot" asks the hardware for the program of the
    // current slot: the slot clicked, not the one a left click chose before.
    if (upperSelected >= 0) currentSlot = upperSelected.load();
    if (!plug) return;
    if (upperSelected < 0)
      plug->showFileCopyMenu(x, y);
    else
      plug->showFileEditMenu(x, y);
    return;
  }
  renaming = false;
  mPressX = x;
  mPressY = y;
  if (plug)
  {
    plug->setRenameClosed(true);
    plug->hideLayerNamed("patchRename", true);
  }
  SetDirty(true);
  hitTest(x, y);
  greySaveButtonsForHit();
  selectSlotsInLibrarian();
  // The arrow keys move on from the slot clicked, in whichever bank it lies.
  if (upperSelected >= 0)
    currentSlot = upperSelected.load();
  else if (lowerSelected >= 0)
    currentSlot = lowerSelected.load();
}

void LibrarianViewControl::OnMouseDblClick(int x, int y, IMouseMod*)
{
  renaming = false;
  if (plug) plug->setRenameClosed(true);
  SetDirty(true);
  if (!plug || (int)plug->GetParamValue(kDeviceOutSelection) == 0) return;
  hitTest(x, y);
  greySaveButtonsForHit();
  const int slot = upperSelected >= 0 ? upperSelected.load() : lowerSelected.load();
  currentSlot = slot;
  if (slot < 0) return;
  plug->sendPatchToDeviceFromLibrarian(slot, activeColumn);
}

bool LibrarianViewControl::OnKeyDown(int, int, int key)
{
  renaming = false;
  if (plug) plug->setRenameClosed(true);
  if (key < 1 || key > 4) return false;
  // A slot outside the grid (no click in a bank yet) starts from the first.
  int slot = currentSlot;
  if (slot < 0 || slot >= kSlots) slot = 0;
  switch (key)
  {
    case 1: slot = slot == 0 ? 127 : slot - 1; break;
    case 2: slot = slot == 127 ? 0 : slot + 1; break;
    case 3: slot = slot < 16 ? slot + 112 : slot - 16; break;
    case 4: slot = slot >= 112 ? slot - 112 : slot + 16; break;
  }
  currentSlot = slot;
  if (activeColumn == 1)
    lowerSelected = slot;
  else
    upperSelected = slot;
  SetDirty(true);
  if (upperSelected < 0 && lowerSelected < 0) return false;
  if (plug) plug->sendPatchToDeviceFromLibrarian(slot, activeColumn);
  return true;
}

void LibrarianViewControl::OnMouseDrag(int x, int y, int, int, IMouseMod*)
{
  renaming = false;
  SetDirty(true);
  if (!dragEnabled) return;
  const int left = x - slotWidth / 2, top = y - slotHeight / 2;
  dragRect = IRECT(left, top, left + slotWidth, top + slotHeight);
  if (dragging) return;
  hitTest(mPressX, mPressY);
  if (lowerSelected < 0) return;
  dragging = true;
  copySourceFileIndex = librarian ? librarian->lowerFileIndex.load() : -1;
  copySourceSlot = lowerSelected;
}

void LibrarianViewControl::OnMouseUp(int x, int y, IMouseMod*)
{
  renaming = false;
  SetDirty(true);
  if (!dragging) return;
  dragging = false;
  hitTest(x, y);
  if (librarian) librarian->selectedSlot = upperSelected.load();
  if (upperSelected < 0) return;
  // The program as the lower bank holds it at the drop.
  std::unique_ptr<LibrarianPatch> source;
  if (librarian)
  {
    WDL_MutexLock lock(&librarian->libraryMutex);
    PatchFile* bank = lowerBank();
    if (bank && copySourceSlot >= 0 && (size_t)copySourceSlot < bank->patches.size())
    {
      source.reset(new LibrarianPatch);
      bank->patches[(size_t)copySourceSlot].clone(*source);
    }
  }
  if (!librarian || !librarian->bankAt(librarian->upperFileIndex)) return;
  storeIntoUpper(source.get());
  if (plug)
  {
    plug->SetLibrarianStatusUnsaved(true);
    plug->grayLayerNamed(kSaveChangesLayer, false);
  }
}

void LibrarianViewControl::CopySlotData(int x, int y)
{
  lowerSelected = -1;
  const int slot = slotAt(1, x, y);
  if (slot >= 0)
  {
    activeColumn = 1;
    lowerSelected = slot;
  }
  copySourceFileIndex = librarian ? librarian->lowerFileIndex.load() : -1;
  copySourceSlot = slot;
  copyValid = copySourceFileIndex;
  // Taken now: a later paste stores this program even after the lower bank changed
  // or a rescan freed it.
  copiedPatch.reset();
  if (!librarian || slot < 0) return;
  WDL_MutexLock lock(&librarian->libraryMutex);
  PatchFile* bank = lowerBank();
  if (bank && (size_t)slot < bank->patches.size())
  {
    copiedPatch.reset(new LibrarianPatch);
    bank->patches[(size_t)slot].clone(*copiedPatch);
  }
}

void LibrarianViewControl::PasteSlotData(int x, int y)
{
  SetDirty(true);
  upperSelected = -1;
  const int slot = slotAt(0, x, y);
  if (slot >= 0)
  {
    activeColumn = 0;
    upperSelected = slot;
  }
  if (librarian) librarian->selectedSlot = slot;
  if (slot < 0 || copyValid == -1) return;
  if (!librarian || !librarian->bankAt(librarian->upperFileIndex)) return;
  storeIntoUpper(copiedPatch.get());
  if (plug) plug->SetLibrarianStatusUnsaved(true);
}

void LibrarianViewControl::storeIntoUpper(const LibrarianPatch* source)
{
  if (!plug || !source) return;
  for (const PatchSysexMessage& m : source->messages)
  {
    std::vector<uint8_t> copy(m.bytes);
    if (!copy.empty()) plug->feedSysExFromLibrarian(copy.data(), (int)copy.size());
  }
}

void LibrarianViewControl::renameSlot(int, int)
{
  renaming = true;
  if (plug) plug->setRenameClosed(false);
  if (upperSelected < 0 || !librarian) return;
  activeColumn = 0;
  std::string name;
  {
    WDL_MutexLock lock(&librarian->libraryMutex);
    PatchFile* bank = librarian->bankAt(librarian->upperFileIndex);
    if (!bank) return;
    bank->patches.resize(kSlots);
    const LibrarianPatch& p = bank->patches[(size_t)upperSelected.load()];
    if (p.messages.empty()) return;
    name = p.name;
  }
  if (!plug) return;
  plug->setParamDisplayEntry(kPatchRename, 0, name);
  plug->hideLayerNamed("patchRename", false);
  // The box opens ready for typing, the old name selected.
  if (IControl* field = plug->firstControlOf(kPatchRename)) field->PromptUserInput();
}

bool LibrarianViewControl::cacheUsable()
{
  if (mOpaque < 0)
  {
    mOpaque = 0;
    LICE_IBitmap* b = mBitmap.mData;
    const int w = mRECT.W(), h = mRECT.H();
    if (b && mBitmap.N == 1 && b->getWidth() >= w && b->getHeight() >= h && w > 0 && h > 0)
    {
      mOpaque = 1;
      for (int y = 0; y < h && mOpaque; ++y)
      {
        const LICE_PixelValue* row = b->getBits() + (size_t)y * (size_t)b->getRowSpan();
        for (int x = 0; x < w; ++x)
          if (LICE_PixelA(row[x]) != 255)
          {
            mOpaque = 0;
            break;
          }
      }
    }
  }
  return mOpaque == 1 && drawCacheEnabled;
}

bool LibrarianViewControl::Draw(IGraphics* g)
{
  if (!g) return false;
  LICE_IBitmap* target = g->GetDrawBitmap();
  const DrawKey key{target, upperSelected.load(), lowerSelected.load(), mGeneration.load()};
  const IRECT area = g->GetDrawRECT();
  if (target && cacheUsable())
  {
    // Moving the drag rectangle redraws the grid at every mouse move: the picture of
    // the bitmap, highlights and 256 names is taken once and copied back, within the
    // pass's area as the bitmap would be, until one of them changes.
    if (mCacheValid && mCacheKey == key)
    {
      if (area.Intersects(mRECT))
      {
        const int l = std::max(area.L, mRECT.L), t = std::max(area.T, mRECT.T);
        const int r = std::min(area.R, mRECT.R), b = std::min(area.B, mRECT.B);
        LICE_Blit(target, mCache.get(), l, t, l - mRECT.L, t - mRECT.T, r - l, b - t, 1.0f, LICE_MODE_COPY);
      }
    }
    else
    {
      drawPlain(g);
      // Only a pass over the whole grid leaves a picture worth keeping.
      mCacheValid = area.L <= mRECT.L && area.T <= mRECT.T && area.R >= mRECT.R && area.B >= mRECT.B;
      if (mCacheValid)
      {
        if (!mCache) mCache.reset(new LICE_MemBitmap(mRECT.W(), mRECT.H()));
        LICE_Blit(mCache.get(), target, 0, 0, mRECT.L, mRECT.T, mRECT.W(), mRECT.H(), 1.0f, LICE_MODE_COPY);
        mCacheKey = key;
      }
    }
  }
  else
    drawPlain(g);
  if (dragging)
  {
    IRECT r = dragRect;
    g->FillIRect(&kHighlight, &r);
  }
  return true;
}

void LibrarianViewControl::drawPlain(IGraphics* g)
{
  if (mBitmap.mData)
  {
    IRECT r = mRECT;
    g->DrawBitmap(&mBitmap, &r, 1);
  }
  for (int column = 0; column < 2; ++column)
  {
    const int selected = column ? lowerSelected.load() : upperSelected.load();
    ITextControl** slots = column ? lowerSlots : upperSlots;
    if (selected >= 0 && selected < kSlots)
    {
      IRECT r = slotRect(column, selected);
      g->FillIRect(&kHighlight, &r);
    }
    for (int i = 0; i < kSlots; ++i)
    {
      if (!slots[i]) continue;
      slots[i]->GetText()->mColor = i == selected ? kBlack : kWhite;
      slots[i]->Draw(g);
    }
  }
}

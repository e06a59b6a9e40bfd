#include "DavrelStandIn.h"

#include "gui/IControls.h"
#include "gui/IGraphicsMac.h"
#include "raster/lice.h"
#include "raster/lice_draw.h"

#include <cmath>

namespace {

const int kNumParams = 529;
const int kKnobSize = 48, kKnobFrames = 31, kKnobs = 8, kSwitchSize = 32, kSwitches = 4;

// A knob strip drawn at start-up: a disc with a pointer, one frame per position.
IBitmap MakeKnobStrip(IGraphics* g)
{
  LICE_MemBitmap* strip = new LICE_MemBitmap(kKnobSize, kKnobSize * kKnobFrames);
  LICE_Clear(strip, 0);
  const float r = kKnobSize / 2.0f - 2.0f;
  for (int f = 0; f < kKnobFrames; ++f)
  {
    const float cx = kKnobSize / 2.0f, cy = f * kKnobSize + kKnobSize / 2.0f;
    LICE_FillCircle(strip, cx, cy, r, LICE_MakePixel(70, 74, 82, 255), 1.0f, LICE_MODE_COPY, true);
    LICE_Circle(strip, cx, cy, r, LICE_MakePixel(150, 156, 168, 255), 1.0f, LICE_MODE_COPY, true);
    const double a = (-135.0 + 270.0 * f / (kKnobFrames - 1)) * M_PI / 180.0;
    LICE_Line(strip, (int)cx, (int)cy, (int)(cx + std::sin(a) * (r - 4)), (int)(cy - std::cos(a) * (r - 4)),
              LICE_MakePixel(240, 200, 90, 255), 1.0f, LICE_MODE_COPY, true);
  }
  IBitmap bitmap(strip, kKnobSize, kKnobSize * kKnobFrames, kKnobFrames);
  g->RetainBitmap(&bitmap);
  return bitmap;
}

// A two-state switch: a dark square, lit when on.
IBitmap MakeSwitch(IGraphics* g)
{
  LICE_MemBitmap* strip = new LICE_MemBitmap(kSwitchSize, kSwitchSize * 2);
  LICE_Clear(strip, 0);
  for (int f = 0; f < 2; ++f)
  {
    LICE_FillRect(strip, 2, f * kSwitchSize + 2, kSwitchSize - 4, kSwitchSize - 4, LICE_MakePixel(70, 74, 82, 255),
                  1.0f, LICE_MODE_COPY);
    if (f)
      LICE_FillRect(strip, 8, f * kSwitchSize + 8, kSwitchSize - 16, kSwitchSize - 16,
                    LICE_MakePixel(240, 200, 90, 255), 1.0f, LICE_MODE_COPY);
  }
  IBitmap bitmap(strip, kSwitchSize, kSwitchSize * 2, 2);
  g->RetainBitmap(&bitmap);
  return bitmap;
}

}  // namespace

DavrelStandIn::DavrelStandIn(IPlugInstanceInfo instanceInfo)
  : IPlugAU(instanceInfo, 98, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
            FourCC("QhS1"), 128, true, true, true, 0)
{
  initialize(instanceInfo, 0, kNumParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
             FourCC("QhS1"), 128, true, true, true, 0);
  addNonAutomateParamCount(kNumParams);
  // Plain values 0 to 1, so the graphics object's road (which normalises and snaps
  // to the step) leaves what the host sets as it is.
  for (int i = 0; i < kNumParams; ++i) GetParam(i)->InitDouble("Parameter", 0.0, 0.0, 1.0, 0.000001);

  // What the stand-in shows until the editor's pages exist: a panel, a caption, a
  // row of knobs for parameters 0 to 7 and a row of switches for 8 to 11.
  IGraphics* g = MakeGraphics(this, kEditorWidth, kEditorHeight, 25);
  const IColor panel(255, 38, 40, 46);
  g->AttachPanelBackground(&panel);
  IText caption(24, IColor(255, 220, 222, 228), "Consolas");
  g->AttachControl(new ITextControl(this, IRECT(0, 40, kEditorWidth, 80), &caption, "Davrel Editor"));
  const IBitmap knob = MakeKnobStrip(g);
  for (int i = 0; i < kKnobs; ++i) g->AttachControl(new IKnobMultiControl(this, kKnobX + i * kKnobStep, kKnobY, i, &knob));
  const IBitmap toggle = MakeSwitch(g);
  for (int i = 0; i < kSwitches; ++i)
    g->AttachControl(new ISwitchControl(this, kSwitchX + i * kSwitchStep, kSwitchY, kKnobs + i, &toggle));
  AttachGraphics(g);
}

bool DavrelStandIn::SerializeState(ByteChunk* pChunk)
{
  InitChunkWithIPlugVer(pChunk);
  return SerializeNonAutomatedParams(pChunk, NParams());
}

int DavrelStandIn::UnserializeState(ByteChunk* pChunk, int startPos)
{
  int pos = startPos;
  if (GetIPlugVerFromChunk(pChunk, &pos) != kIPlugVersion) return -1;
  return UnserializeNonAutomatedParams(pChunk, pos, NParams());
}

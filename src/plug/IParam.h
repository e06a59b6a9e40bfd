#pragma once
// One parameter of the plug-in: kind, plain value with range, step, shape and
// default, the texts shown for it and an optional table of display texts.
// No lock of its own: values change under IPlugBase::mMutex when they come
// through the GUI road or the serialisers; the hardware parsers write directly.

#include "base/heapbuf.h"

enum IParamKind
{
  kTypeNone = 0,
  kTypeBool = 1,
  kTypeInt = 2,
  kTypeEnum = 3,
  kTypeDouble = 4,
  kTypeText = 5
};

class IParam
{
public:
  enum
  {
    kNameLen = 55,         // name, label and group fields, with the terminating zero
    kDisplayTextLen = 256, // one display entry, with the terminating zero: room for a
                           // device name, which selects the MIDI port it names
    kMaxNumberLen = 31     // longest number form GetDisplayForHost writes
  };

  struct DisplayText
  {
    int mValue;
    char mText[kDisplayTextLen];
  };

  IParam();
  ~IParam() = default;
  IParam(const IParam&) = delete;
  IParam& operator=(const IParam&) = delete;

  // The typed Init operations keep the first kind given; InitText always
  // turns the parameter into a text parameter (the name display makes an
  // enum first and then a text of it).
  void InitBool(const char* name, bool defaultVal, const char* label = "", const char* group = "", int tag1 = -1, int tag2 = -1);
  void InitEnum(const char* name, int defaultVal, int nEnums, const char* label = "", const char* group = "", int tag1 = -1, int tag2 = -1);
  void InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label = "", const char* group = "", int tag1 = -1, int tag2 = -1);
  void InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step, const char* label = "", const char* group = "", int tag1 = -1, int tag2 = -1);
  void InitText();

  // Sets the plain value directly, limited to min..max (NaN gives min);
  // nothing is notified.
  void Set(double value);
  void SetShape(double shape);

  // Entry for value v sits at position v. A value above the count fills the
  // gap with empty entries; a negative value appends an entry carrying it and
  // leaves the range alone.
  void SetDisplayText(int value, const char* text);
  void ResetDisplayTexts();
  int GetNDisplayTexts() const { return mDisplayTexts.GetSize(); }
  const char* GetDisplayText(int value) const;
  // "" (and *pValue untouched) for a position outside the list.
  const char* GetDisplayTextAtIdx(int idx, int* pValue = nullptr) const;
  bool MapDisplayText(const char* str, int* pValue) const;

  void SetNormalized(double normalizedValue);
  double GetNormalized() const { return GetNormalized(mValue); }
  double GetNormalized(double nonNormalizedValue) const;

  // text must hold kDisplayTextLen bytes.
  void GetDisplayForHost(double value, bool normalized, char* text, bool withDisplayText = true) const;
  void GetDisplayForHost(char* text, bool withDisplayText = true) const { GetDisplayForHost(mValue, false, text, withDisplayText); }
  const char* GetNameForHost() const { return mName; }
  const char* GetLabelForHost() const;
  const char* GetParamGroupForHost() const { return mParamGroup; }

  void GetBounds(double* pMin, double* pMax) const;
  double DBToAmp() const;

  IParamKind Type() const { return mType; }
  double Value() const { return mValue; }
  bool Bool() const { return mValue >= 0.5; }
  int Int() const;
  double GetMin() const { return mMin; }
  double GetMax() const { return mMax; }
  double GetStep() const { return mStep; }
  double GetShape() const { return mShape; }
  double GetDefault() const { return mDefault; }
  int GetPrecision() const { return mDisplayPrecision; }
  int GetTag1() const { return mTag1; }
  int GetTag2() const { return mTag2; }

  void SetNegateDisplay(bool negate = true) { mNegateDisplay = negate; }
  bool GetNegateDisplay() const { return mNegateDisplay; }
  void SetCanAutomate(bool canAutomate) { mCanAutomate = canAutomate; }
  bool GetCanAutomate() const { return mCanAutomate; }
  void SetIsMeta(bool meta) { mIsMeta = meta; }
  bool GetIsMeta() const { return mIsMeta; }

  // The editor's sending record; neither the parameter nor the plug-in reads it.
  void SetControlAction(void* action) { mControlAction = action; }
  void* GetControlAction() const { return mControlAction; }

private:
  void InitTexts(const char* name, const char* label, const char* group, int tag1, int tag2);
  void SetKindIfNone(IParamKind kind);

  IParamKind mType = kTypeNone;
  double mValue = 0.0, mMin = 0.0, mMax = 1.0, mStep = 1.0, mShape = 1.0, mDefault = 0.0;
  int mTag1 = 0, mTag2 = 0;
  int mDisplayPrecision = 0;
  char mName[kNameLen] = {};
  char mLabel[kNameLen] = {};
  char mParamGroup[kNameLen] = {};
  bool mNegateDisplay = false;
  bool mCanAutomate = true;
  bool mIsMeta = false;
  WDL_TypedBuf<DisplayText> mDisplayTexts{8 * (int)sizeof(DisplayText)};
  void* mControlAction = nullptr;
};

#include "plug/IParam.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void CopyText(char* dst, int dstLen, const char* src)
{
  if (!src) src = "";
  const size_t n = strnlen(src, (size_t)dstLen - 1);
  memcpy(dst, src, n);
  dst[n] = 0;
}

// Truncation toward zero that stays defined for NaN and huge values.
int TruncToInt(double v)
{
  if (!(v == v)) return 0;
  if (v >= (double)INT_MAX) return INT_MAX;
  if (v <= (double)INT_MIN) return INT_MIN;
  return (int)v;
}

bool IsWhole(double x)
{
  return std::fabs(x - std::floor(x + 0.5)) <= 1e-9 * (std::fabs(x) > 1.0 ? std::fabs(x) : 1.0);
}

}  // namespace

IParam::IParam() = default;

void IParam::InitTexts(const char* name, const char* label, const char* group, int tag1, int tag2)
{
  CopyText(mName, kNameLen, name);
  CopyText(mLabel, kNameLen, label);
  CopyText(mParamGroup, kNameLen, group);
  mTag1 = tag1;
  mTag2 = tag2;
}

void IParam::SetKindIfNone(IParamKind kind)
{
  if (mType == kTypeNone) mType = kind;
}

void IParam::InitBool(const char* name, bool defaultVal, const char* label, const char* group, int tag1, int tag2)
{
  SetKindIfNone(kTypeBool);
  mValue = mDefault = defaultVal ? 1.0 : 0.0;
  mMin = 0.0;
  mMax = 1.0;
  mStep = 1.0;
  mDisplayPrecision = 0;
  InitTexts(name, label, group, tag1, tag2);
  SetDisplayText(0, "off");
  SetDisplayText(1, "on");
}

void IParam::InitEnum(const char* name, int defaultVal, int nEnums, const char* label, const char* group, int tag1, int tag2)
{
  SetKindIfNone(kTypeEnum);
  mValue = mDefault = defaultVal;
  mMin = 0.0;
  mMax = nEnums - 1 > 1 ? nEnums - 1 : 1;
  mStep = 1.0;
  mDisplayPrecision = 0;
  InitTexts(name, label, group, tag1, tag2);
}

void IParam::InitInt(const char* name, int defaultVal, int minVal, int maxVal, const char* label, const char* group, int tag1, int tag2)
{
  SetKindIfNone(kTypeInt);
  mValue = mDefault = defaultVal;
  mMin = minVal;
  mMax = std::fmax((double)minVal + 1.0, (double)maxVal);
  mStep = 1.0;
  mDisplayPrecision = 0;
  InitTexts(name, label, group, tag1, tag2);
}

void IParam::InitDouble(const char* name, double defaultVal, double minVal, double maxVal, double step, const char* label,
                        const char* group, int tag1, int tag2)
{
  SetKindIfNone(kTypeDouble);
  mValue = mDefault = defaultVal;
  mMin = minVal;
  mMax = std::fmax(minVal + step, maxVal);
  mStep = step;
  mDisplayPrecision = 0;
  if (!IsWhole(step))
  {
    double x = step;
    do
    {
      x *= 10.0;
      ++mDisplayPrecision;
    } while (mDisplayPrecision < 6 && !IsWhole(x));
  }
  InitTexts(name, label, group, tag1, tag2);
}

void IParam::InitText()
{
  mType = kTypeText;
}

void IParam::Set(double value)
{
  if (!(value == value) || value < mMin) value = mMin;
  if (value > mMax) value = mMax;
  mValue = value;
}

void IParam::SetShape(double shape)
{
  // A shape of 0 (or one that is not a positive number) would break the curve.
  if (shape > 0.0 && std::isfinite(shape)) mShape = shape;
}

void IParam::SetDisplayText(int value, const char* text)
{
  const int n = mDisplayTexts.GetSize();
  if (value < 0)
  {
    // Appended without a place of its own: the range stays as it is.
    if (!mDisplayTexts.ResizeOK(n + 1, false)) return;
    DisplayText* pDT = mDisplayTexts.Get() + n;
    pDT->mValue = value;
    CopyText(pDT->mText, kDisplayTextLen, text);
    return;
  }
  if (value >= n)
  {
    if (value == INT_MAX || !mDisplayTexts.ResizeOK(value + 1, false)) return;
    for (int i = n; i < value; ++i)
    {
      mDisplayTexts.Get()[i].mValue = i;
      mDisplayTexts.Get()[i].mText[0] = 0;
    }
    mMax = value;
  }
  DisplayText* pDT = mDisplayTexts.Get() + value;
  pDT->mValue = value;
  CopyText(pDT->mText, kDisplayTextLen, text);
}

void IParam::ResetDisplayTexts()
{
  mDisplayTexts.Resize(0);
}

const char* IParam::GetDisplayText(int value) const
{
  const int n = mDisplayTexts.GetSize();
  const DisplayText* pDT = mDisplayTexts.Get();
  for (int i = 0; i < n; ++i)
    if (pDT[i].mValue == value) return pDT[i].mText;
  return "";
}

const char* IParam::GetDisplayTextAtIdx(int idx, int* pValue) const
{
  if (idx < 0 || idx >= mDisplayTexts.GetSize()) return "";
  const DisplayText* pDT = mDisplayTexts.Get() + idx;
  if (pValue) *pValue = pDT->mValue;
  return pDT->mText;
}

bool IParam::MapDisplayText(const char* str, int* pValue) const
{
  if (!str) return false;
  const int n = mDisplayTexts.GetSize();
  const DisplayText* pDT = mDisplayTexts.Get();
  for (int i = 0; i < n; ++i)
  {
    if (!strcmp(str, pDT[i].mText))
    {
      if (pValue) *pValue = pDT[i].mValue;
      return true;
    }
  }
  return false;
}

void IParam::SetNormalized(double normalizedValue)
{
  double n = normalizedValue;
  if (!(n >= 0.0)) n = 0.0;  // also NaN
  if (n > 1.0) n = 1.0;
  double v = mMin + (mMax - mMin) * std::pow(n, mShape);
  if (mType != kTypeDouble && mStep > 0.0) v = std::floor(v / mStep + 0.5) * mStep;
  mValue = std::fmin(v, mMax);
}

double IParam::GetNormalized(double nonNormalizedValue) const
{
  // A single-valued range (an enum reduced to one entry) has only the value 0.
  if (!(mMax > mMin)) return 0.0;
  double v = nonNormalizedValue;
  if (!(v == v) || v < mMin) v = mMin;
  if (v > mMax) v = mMax;
  return std::pow((v - mMin) / (mMax - mMin), 1.0 / mShape);
}

void IParam::GetDisplayForHost(double value, bool normalized, char* text, bool withDisplayText) const
{
  if (!text) return;
  if (normalized) value = mMin + (mMax - mMin) * std::pow(value, mShape);

  if (withDisplayText && mDisplayTexts.GetSize())
  {
    const char* str = GetDisplayText(TruncToInt(value));
    if (str[0])
    {
      strcpy(text, str);
      return;
    }
  }

  double displayValue = mNegateDisplay ? -value : value;
  char buf[512];
  if (mDisplayPrecision == 0)
  {
    if (displayValue > -2147483648.0 && displayValue < 2147483648.0)
      snprintf(buf, sizeof(buf), "%d", (int)displayValue);
    else
      snprintf(buf, sizeof(buf), "%.0f", std::trunc(displayValue));
  }
  else
  {
    snprintf(buf, sizeof(buf), "%.*f", mDisplayPrecision, displayValue);
  }
  CopyText(text, kMaxNumberLen + 1, buf);
}

const char* IParam::GetLabelForHost() const
{
  const char* displayText = GetDisplayText(TruncToInt(mValue));
  return displayText[0] ? "" : mLabel;
}

void IParam::GetBounds(double* pMin, double* pMax) const
{
  if (pMin) *pMin = mMin;
  if (pMax) *pMax = mMax;
}

double IParam::DBToAmp() const
{
  return std::exp(mValue * 0.1151292546497);
}

int IParam::Int() const
{
  return TruncToInt(mValue);
}

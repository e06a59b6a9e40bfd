#include "plug/SysExAssembler.h"

SysExAssembler::SysExAssembler(int maxSize) : mBuf(64 * 1024), mMaxSize(maxSize > 2 ? maxSize : 2) {}

void SysExAssembler::Reset()
{
  mBuf.Resize(0, false);
  mState = kIdle;
  mDiscardedSize = 0;
}

void SysExAssembler::Drop(int size)
{
  ++mDropped;
  mLastDroppedSize = size;
  Reset();
}

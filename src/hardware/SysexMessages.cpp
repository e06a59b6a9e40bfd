#include "hardware/SysexMessages.h"

#include "hardware/SysexPacking.h"

std::vector<uint8_t> makeRequestBody(uint8_t function, uint8_t channelByte)
{
  return {kSysexManufacturerId, channelByte, kSysexModelId, function};
}

std::vector<uint8_t> makeWriteRequestBody(uint8_t channelByte, int program)
{
  return {kSysexManufacturerId, channelByte, kSysexModelId, kSysexProgramWriteRequest, 0x00, (uint8_t)(program & 0x7F)};
}

std::vector<uint8_t> makeEditModeBody(uint8_t channelByte, bool on)
{
  return {kSysexManufacturerId, channelByte, kSysexModelId, kSysexEditMode, (uint8_t)(on ? 1 : 0), 0x00};
}

std::vector<uint8_t> makeParameterChangeBody(uint8_t channelByte, int parameter, int value)
{
  const int v = value & 0x3FFF;
  return {kSysexManufacturerId, channelByte, kSysexModelId, kSysexParameterChange, (uint8_t)(parameter & 0x7F),
          (uint8_t)((parameter >> 7) & 0x7F), (uint8_t)(v & 0x7F), (uint8_t)(v >> 7)};
}

int parameterChangeValue(int vl, int vh) { return vh == 0 ? vl : vl - 128; }

int readDumpDataByte(const uint8_t* msg, int d)
{
  return msg[sysexDataRawIndex(d)] | (((msg[sysexPackingRawIndex(d)] >> (d % 7)) & 1) << 7);
}

void writeDumpDataByte(uint8_t* msg, int d, int value)
{
  msg[sysexDataRawIndex(d)] = (uint8_t)(value & 0x7F);
  uint8_t& pack = msg[sysexPackingRawIndex(d)];
  pack = (uint8_t)((pack & ~(1 << (d % 7))) | (((value >> 7) & 1) << (d % 7)));
}

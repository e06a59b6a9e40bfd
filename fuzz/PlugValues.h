#pragma once
// Every parameter's value in order; a value outside its parameter's range aborts
// (a finding), whatever road the input took.

#include "plug/IPlugBase.h"

#include <cstdlib>
#include <vector>

inline std::vector<double> ValuesInRange(IPlugBase* p)
{
  std::vector<double> v;
  for (int i = 0; i < p->NParams(); ++i)
  {
    const IParam* param = p->GetParam(i);
    if (!(param->Value() >= param->GetMin() && param->Value() <= param->GetMax())) abort();
    v.push_back(param->Value());
  }
  return v;
}

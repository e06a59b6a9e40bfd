#pragma once
// A port chosen from an editor's menu as a user does: once an idle shows it there.
// The menus are built again when the port thread reads the lists, and over JACK read
// again when a server first answers, which on a starved machine comes late.

#include "PollUntil.h"
#include "editor/Davrel.h"

#include <gtest/gtest.h>

#include <string>

inline void ChoosePortEntry(Davrel* e, int param, const std::string& name, int boundMs)
{
  // The port thread builds the menus under the plug-in's mutex.
  IParam* p = e->GetParam(param);
  int index = -1;
  pollUntil(
      [&] {
        e->OnIdle();
        WDL_MutexLock lock(&e->mMutex);
        for (int i = 1; i < p->GetNDisplayTexts(); ++i)
          if (name == p->GetDisplayText(i)) index = i;
        if (index > 0)
        {
          p->Set(index);
          e->OnParamChange(param);
        }
        return index > 0;
      },
      boundMs);
  ASSERT_GT(index, 0) << name;
}

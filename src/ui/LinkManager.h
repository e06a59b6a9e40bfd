#pragma once
// Timbre linking: while the timbres are linked, a change of one timbre's parameter
// is repeated on the same parameter of the other timbre, once. Stateless; what it
// needs of the editor comes through LinkHost.

#include "config/UIConfigManager.h"

class IParam;
struct ControlAction;

class LinkHost
{
public:
  virtual ~LinkHost() = default;
  virtual IParam* linkParam(int paramIdx) = 0;
  // Sends the target's value as its control action does, with the linking flag set
  // (so that the send neither links again nor counts as an echo of the hardware).
  virtual void sendLinked(ControlAction* action, int paramIdx, double value) = 0;
};

class LinkManager
{
public:
  // The link target of a source parameter: the fixed timbre pairs first, then the
  // record's link information; -1 when there is none.
  static int linkTarget(const LinkInfo& info, int sourceId);

  void controlLinker(LinkHost* host, LinkInfo info, int sourceId, int intValue, double value);
};

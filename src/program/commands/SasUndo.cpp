#include "program/commands/SasUndo.h"

#include "program/shell/App.h"
#include "program/shell/AppFlags.h"

namespace vocara {

void SasEditBegin(App&) {}

void SasEditEnd(App& app) {
  if (app.flags & SasPageDirty) app.flags &= ~static_cast<std::uint32_t>(CorrectedTempCurrent);
}

}  // namespace vocara

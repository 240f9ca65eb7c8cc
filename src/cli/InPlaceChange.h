// The one way vocara-cli changes a SAS file in place (edit, snap, reanalyse, repair): under
// the file's lock, on a copy that replaces the file only when the operation ran to its end.
// Ctrl-C, SIGTERM and SIGHUP stop the operation at its next frame (or, for one without
// progress, before the copy replaces the file) and leave the file as it was; a kill, a full
// disk or a file size limit leave it as it was too.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

#include "base/Progress.h"

namespace vocara {
struct SasDocument;
}

namespace vocara::cli {

// Runs `operation` (given a progress callback that answers false once the user interrupted)
// on `sas`, open for writing from `name`, as one change. Returns the exit code: 0 when the
// file now holds the change; 1 with "vocara-cli: interrupted; NAME was not changed" after an
// interrupt, "vocara-cli: could not write NAME" when the operation or the replacement failed,
// or the refusal's message when the change could not start; the file is then as before. With a
// `label` the operation's progress is drawn on a terminal under it.
int ChangeInPlace(std::ostream& err, SasDocument& sas, const std::string& name,
                  const std::function<bool(const ProgressCallback& progress)>& operation,
                  std::string_view label = {});

}  // namespace vocara::cli

#include "cli/InPlaceChange.h"

#include "base/MessageId.h"
#include "cli/Cli.h"
#include "cli/FileProblems.h"
#include "cli/TerminalProgress.h"
#include "engine/sas/SasChange.h"
#include "engine/sas/SasDocument.h"

namespace vocara::cli {

int ChangeInPlace(std::ostream& err, SasDocument& sas, const std::string& name,
                  const std::function<bool(const ProgressCallback& progress)>& operation,
                  std::string_view label) {
  const InterruptScope interruptible;
  const auto interruptedExit = [&err, &name] {
    err << "vocara-cli: interrupted; " << name << " was not changed\n";
    return ExitFailure;
  };
  // A signal that came before (while the file was read and the change prepared) stops it here.
  if (Interrupted()) return interruptedExit();
  SasChange change;
  if (const MessageId refused = change.Begin(sas, true, SasLockWait, [] { return !Interrupted(); });
      refused != MessageId::None) {
    if (Interrupted()) return interruptedExit();
    if (refused == MessageId::SasBusy) return LockedOut(err, refused, name);
    if (refused == MessageId::InvalidFileHandle)
      return InputRefused(err, refused, name, FileKind::Sas, FileUse::Change);
    return OutputFailure(err, refused, name);
  }
  const bool drawBar = !label.empty() && DrawsProgressBar(err);
  const bool done = operation(TerminalProgress(err, label, drawBar));
  EndProgress(err, drawBar);
  // The last moment to stop: once the copy is renamed over the file, the change has happened.
  if (Interrupted()) return interruptedExit();
  // A signal from the moment the copy may replace the file on waits for the end of the run:
  // the file holds the change, and the run must say so rather than end as interrupted.
  DeferInterruptsToTheEnd();
  if (!done || !change.Commit()) return OutputFailure(err, MessageId::OutputWriteFailed, name);
  return ExitSuccess;
}

}  // namespace vocara::cli

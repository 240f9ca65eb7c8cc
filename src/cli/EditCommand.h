// vocara-cli edit: changes a SAS file in place as the SAS range operations of the program do.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vocara::cli {

// Reports a usage problem followed by the usage text and returns the usage exit code.
using UsageReporter = int (*)(std::ostream& err, const std::string& problem);

// edit IN.sas [--range A:B] [--scale P] [--transpose CENTS] [--disable-above P]
//             [--enable-below P] [--silence-below P] [--remove-links]
// edit IN.sas --silence
// edit IN.sas --clear
//
// The first form is Global Edit on the frames A <= i < B (all frames without --range): each
// option ticks its operation with that value, read as the "Change SAS range" dialog reads its
// field (the lenient scan, text that is no number as 0) and clamped to the field's range; the
// values not given keep the dialog's initial ones. The operations apply in the dialog's order
// whatever the order of the options. --silence is SAS File / Silence with the silence threshold
// of the file's own settings, --clear is Global Clear; both take the whole file and nothing
// else. Without an operation the file is opened (validated) and left as it was. The file is
// written exactly as the program writes it; a failed write is "vocara-cli: could not write IN".
int EditCommand(const std::vector<std::string>& args, std::ostream& err, UsageReporter usage);

}  // namespace vocara::cli

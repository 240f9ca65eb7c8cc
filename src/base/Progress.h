// Long operations (building a SAS, correcting, removing noise) report their progress and ask
// whether to go on through one callback, so the GUI can keep its windows alive and the
// command-line tool can draw a progress bar.
#pragma once

#include <cstdint>
#include <functional>

namespace vocara {

// Called once per frame or block with the sample position reached and the total; returns
// false when the user asked to stop (the operation then ends at once, cleaning up).
using ProgressCallback = std::function<bool(std::uint64_t position, std::uint64_t total)>;

enum class LongOperationResult { Done, Cancelled, Failed };

}  // namespace vocara

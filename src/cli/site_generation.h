// The generation run as the commands of tessavo-cli start it (generate, demo, serve).
#pragma once

#include <optional>

#include "cli/context.h"
#include "generator/run.h"
#include "util/datetime.h"

namespace tessavo::cli {

// Generate Pages on `blog`, with a progress bar on the terminal for long runs; `now`
// replaces the clock's time when given; `full` makes every page afresh (generate --full).
GenerateResult GenerateWithProgress(Context& ctx, Blog& blog,
                                    const std::optional<DateTime>& now = std::nullopt,
                                    bool full = false);

}  // namespace tessavo::cli

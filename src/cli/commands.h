#pragma once
// The commands of kviro-cli. Each runs one job and gives its outcome; none prints anything itself
// except the progress bar.
#include "cli/options.h"
#include "cli/reporter.h"

Outcome runCommand(const CliOptions &options, CliReporter &reporter);

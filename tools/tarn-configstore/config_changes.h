// The rendering of changes to the configuration's layers, per object and
// instance, shared by `plan` and `generations diff`.
#pragma once

#include <vector>

#include "json_output.h"
#include "tarn/config_diff.h"

namespace TarnCli {

// One line per row ("+ added", "~ changed", "- removed") with the layers
// that differ below it, then the counts.
void PrintChanges(const std::vector<TarnConfigStore::ConfigRowChange>& changes);

// An array of {component, group, name, identifier, change, layers: {layer:
// {before, after}}}.
void WriteChanges(JsonOutput& w, const std::vector<TarnConfigStore::ConfigRowChange>& changes);

} // namespace TarnCli

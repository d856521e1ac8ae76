// Renderings shared by the generation commands.
#pragma once

#include <string>
#include <vector>

#include "tarn/generations.h"

namespace TarnCli {

// "Config +3 ~10 -2, KVTable ~1" (added, changed, removed rows of each table
// that differs), or "no change".
std::string ChangeSummary(const std::vector<TarnConfigStore::TableChange>& changes);

} // namespace TarnCli

// The sections of a tree file, each read by its own loader. All throw
// LoadError naming the problem.
#pragma once

#include "kno/tree.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {

// "types": the type table, in file order; a type may use only types defined
// before it.
void LoadTypes(const rapidjson::Value* types, Definitions& defs);
// "modules" and "nodes" (needs the types).
void LoadModules(const rapidjson::Value* modules, Definitions& defs);
void LoadNodes(const rapidjson::Value* nodes, Definitions& defs);
// "instances" and "values" against finished definitions.
State LoadState(const rapidjson::Value* instances, const rapidjson::Value* values, const Tree& tree);

} // namespace TarnPlatform::Kno

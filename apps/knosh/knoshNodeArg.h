// The node a value command (get, cat, set) names.
#pragma once

#include "apps/knosh/knoshInternal.h"

namespace Knosh {

struct NodeArg {
    PathPtr path;  // none when the text did not resolve
    const KNOSHPathElement* leaf = nullptr;
    ParamListPtr keys;  // the leaf's instance keys
};

// Resolves text from the working directory without instance checking and
// gathers the leaf's instance keys. The status of a path that does not
// resolve (not reported, node->path left empty), or KES_NO_MEMORY (already
// reported) when the keys cannot be gathered.
KES_ReturnStatus ResolveNodeArg(char* text, NodeArg* node);

} // namespace Knosh

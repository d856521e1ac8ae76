#include "apps/knosh/knoshNodeArg.h"

namespace Knosh {

KES_ReturnStatus ResolveNodeArg(char* text, NodeArg* node) {
    KNOSHPathElement* raw = nullptr;
    KES_ReturnStatus status = KNOSHPath_Form(knoshCwd, text, 0, &raw, nullptr);
    if (status != KES_OK) return status;
    node->path.reset(raw);
    node->leaf = KNOSHPath_GetLeafElement(node->path.get());
    node->keys.reset(KNOSHPath_GetInstArgs(node->leaf));
    return node->keys ? KES_OK : KES_NO_MEMORY;  // reported by KNOSHPath_GetInstArgs
}

} // namespace Knosh

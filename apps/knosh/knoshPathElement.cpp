// Path elements: allocation, the root element, walking to the leaf, freeing.
#include <cstdlib>

#include "apps/knosh/knoshInternal.h"

namespace Knosh {

void FreeDeleter::operator()(void* p) const { free(p); }

PathPtr NewElement() {
    return PathPtr(static_cast<KNOSHPathElement*>(calloc(1, sizeof(KNOSHPathElement))));
}

} // namespace Knosh

namespace {

// Frees one element and what it owns; links are the caller's business.
void FreeElement(KNOSHPathElement* e) {
    KNO_NodeInfoRelease(e->nodeInfo);
    // A string key is released whatever hasParam says, so a half-built
    // element cannot leak its text.
    if (e->param.type == KNO_PARAM_STRING) KNO_ParamFreeString(&e->param);
    free(e);
}

} // namespace

KNOSHPathElement* KNOSHPath_InitRoot(uint32_t nodeID) {
    Knosh::PathPtr root = Knosh::NewElement();
    if (!root || KNO_NodeInfoLookup(nodeID, 0, &root->nodeInfo) != KES_OK) return nullptr;
    return root.release();
}

KNOSHPathElement* KNOSHPath_GetLeafElement(KNOSHPathElement* element) {
    if (!element) return nullptr;
    while (element->next) element = element->next;
    return element;
}

void KNOSHPath_Delete(KNOSHPathElement* element) {
    if (!element) return;
    // From the leaf back, so every element is detached before it is freed.
    KNOSHPathElement* e = KNOSHPath_GetLeafElement(element);
    for (;;) {
        KNOSHPathElement* prev = e->prev;
        bool last = e == element;
        if (prev) prev->next = nullptr;
        FreeElement(e);
        if (last) break;
        e = prev;
    }
}

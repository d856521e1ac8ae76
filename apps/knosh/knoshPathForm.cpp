// Resolving a textual path into a chain of path elements.
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

const char* const kLabel = "KNOSHPath_Form";

// A copy of the path starting at current: same fields, own node
// information references and own key texts.
KES_ReturnStatus ClonePath(const KNOSHPathElement* current, Knosh::PathPtr* out) {
    Knosh::PathPtr head;
    KNOSHPathElement* tail = nullptr;
    for (const KNOSHPathElement* src = current; src; src = src->next) {
        Knosh::PathPtr e = Knosh::NewElement();
        if (!e) return KES_NO_MEMORY;
        KES_ReturnStatus status = KNO_NodeInfoLookup(src->nodeInfo->nodeID, src->moduleID, &e->nodeInfo);
        if (status != KES_OK) return status;
        e->moduleID = src->moduleID;
        e->hasParam = src->hasParam;
        if (src->param.type == KNO_PARAM_STRING) {
            status = KNO_ParamSetString(&e->param, KNO_ParamGetString(&src->param));
            if (status != KES_OK) return status;
        } else {
            e->param = src->param;
        }
        KNOSHPathElement* added = e.release();
        if (tail) {
            tail->next = added;
            added->prev = tail;
        } else {
            head.reset(added);
        }
        tail = added;
    }
    *out = std::move(head);
    return KES_OK;
}

// Cuts the next component off *next (NULL once no text is left). A
// component in double quotes may hold "/"; characters right after the
// closing quote join it.
char* SplitComponent(char** next) {
    char* component = *next;
    char* stop;
    if (*component == '"') {
        ++component;
        char* close = strchr(component, '"');
        if (!close) {
            *next = nullptr;
            return component;
        }
        if (close[1] == '/' || close[1] == '\0') {
            *close = '\0';
            *next = close[1] == '/' ? close + 2 : nullptr;
            return component;
        }
        memmove(close, close + 1, strlen(close + 1) + 1);
        stop = strchr(close, '/');
    } else {
        stop = strchr(component, '/');
    }
    if (stop) {
        *stop = '\0';
        *next = stop + 1;
    } else {
        *next = nullptr;
    }
    return component;
}

// The element a component names below working element w; NULL when it
// names nothing.
Knosh::PathPtr ResolveComponent(const KNOSHPathElement* w, const char* component, uint8_t checkInstances) {
    const KNONodeInfo* node = w->nodeInfo;
    if (node->isInstance && !w->hasParam) return Knosh::MakeInstanceElement(w, component, checkInstances);

    KNONodeInfo* child = nullptr;
    if (KNO_ChildNodeLookup(node, w->moduleID, component, &child) == KES_OK) {
        Knosh::NodeInfoPtr held(child);
        Knosh::PathPtr e = Knosh::NewElement();
        if (e) {
            e->nodeInfo = held.release();
            e->moduleID = w->moduleID;
            return e;
        }
    }
    if (node->flags & KNO_NODE_FLAG_TRY_INSTANCE) return Knosh::MakeInstanceElement(w, component, checkInstances);
    return nullptr;
}

void Link(KNOSHPathElement* w, KNOSHPathElement* e) {
    static const char* const kNextLabel = "KNOSHPathFormNext";
    if (w->next) {
        KNOSHDiag(1, kNextLabel, "this shouldn't happen: non-null next link in path formation");
        KNOSHPath_Delete(w->next);
    }
    w->next = e;
    e->prev = w;
    const KNONodeInfo* n = e->nodeInfo;
    KNOSHDiag(15, kNextLabel, "Adding %d:%s: %s; %s; %s; %s;", static_cast<int>(n->nodeID), n->name,
              n->isLeaf ? "leaf" : "not-leaf", n->isInstance ? "inst" : "not-inst", n->isIntegerKey ? "int" : "string",
              e->hasParam ? "has-param" : "no-param");
}

} // namespace

KES_ReturnStatus KNOSHPath_Form(KNOSHPathElement* current, char* text, uint8_t checkInstances,
                                KNOSHPathElement** path, char** rest) {
    static char empty[1] = "";
    if (rest) *rest = nullptr;
    if (path) *path = nullptr;
    if (!text) text = empty;

    Knosh::PathPtr result;
    char* next = text;
    if (*text == '/') {
        result.reset(KNOSHPath_InitRoot(knoshRootNodeID));
        if (!result) {
            KNOSHDiag(0, kLabel, "Failed to allocate path element.");
            return KES_NO_MEMORY;
        }
        ++next;
        // The rendered root text stands in front of the rest; it is skipped,
        // not compared.
        size_t rootLength = knoshRootNodeStr ? strlen(knoshRootNodeStr) : 0;
        if (strlen(next) > rootLength) next += rootLength;
    } else {
        KES_ReturnStatus status = current ? ClonePath(current, &result) : KES_BAD_PARAM;
        if (status != KES_OK) {
            KNOSHDiag(0, kLabel, "Failed to clone path.");
            return status;
        }
    }

    KNOSHPathElement* working = KNOSHPath_GetLeafElement(result.get());
    while (next && *next) {
        char* component = SplitComponent(&next);
        KNOSHDiag(12, kLabel, "pathStr=%s, nextPathStr=%s", component, next ? next : "");

        if (strcmp(component, "..") == 0) {
            if (KNOSHPathElement* prev = working->prev) {
                KNOSHPath_Delete(working);
                working = prev;
                continue;
            }
        } else if (Knosh::PathPtr added = ResolveComponent(working, component, checkInstances)) {
            Link(working, added.get());
            working = added.release();
            continue;
        }

        if (rest) {
            *rest = component;
            break;
        }
        KNOSHDiag(0, kLabel, "Extraneous '%s' in path.", component);
        return KES_BAD_PARAM;
    }
    if (path) *path = result.release();
    return KES_OK;
}

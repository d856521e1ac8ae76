// ls, dir and typels: listing the names (or types) below a path, children
// in natural order, instance keys integers first.
#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "apps/knosh/knoshInternal.h"

namespace {

enum class Listing { Names, Types };

// One line for a name. A branch, or an instance leaf shown without its key,
// gets "/" so that the user sees where cd can go.
void PrintSuffixedName(const char* name, const KNONodeInfo* node, bool keyed) {
    static const char* const kLabel = "KNOSHPrintSuffixedName";
    const char* suffix = "";
    if (!options.rawOutput) {
        if (!node->isLeaf) {
            KNOSHDiag(7, kLabel, "node isn't leaf, suffix is /");
            suffix = "/";
        } else if (node->isInstance && !keyed) {
            KNOSHDiag(7, kLabel, "node is non-param instance, suffix is /");
            suffix = "/";
        }
    }
    KNOSHPrintf("%s%s\n", name, suffix);
}

// The type shown for a node by a type listing; a leaf without a get type
// (a data node) shows an empty name.
const char* TypeNameOf(const KNONodeInfo* node) {
    if (!node->isLeaf) return "branchType";
    return node->getType && node->getType->name ? node->getType->name : "";
}

struct KeyText {
    char text[21];  // at most 20 digits
};

KeyText IntKeyText(uint64_t value) {
    KeyText t;
    snprintf(t.text, sizeof t.text, "%llu", static_cast<unsigned long long>(value));
    return t;
}

// Integers first and ascending, then texts in natural order.
bool ParamBefore(const KNOParam* a, const KNOParam* b) {
    bool aInt = a->type == KNO_PARAM_INT, bInt = b->type == KNO_PARAM_INT;
    if (aInt != bInt) return aInt;
    if (aInt) return KNO_ParamGetInt(a) < KNO_ParamGetInt(b);
    return Knosh::NaturalCompare(KNO_ParamGetString(a), KNO_ParamGetString(b)) < 0;
}

KES_ReturnStatus ListInstanceNodes(const KNOSHPathElement* e, Listing listing) {
    static const char* const kLabel = "KNOSHListInstanceNodes";
    const KNONodeInfo* node = e->nodeInfo;
    if (listing == Listing::Types) {
        PrintSuffixedName(node->isLeaf ? "instLeafType" : "instBranchType", node, true);
        return KES_OK;
    }
    Knosh::ParamListPtr keys(KNOSHPath_GetInstArgs(e));
    KNOParamList* raw = nullptr;
    KES_ReturnStatus status = KNOSH_GetInstanceNodes(node, keys.get(), &raw);
    if (status != KES_OK) return status;
    Knosh::ParamListPtr list(raw);

    uint32_t count = KNO_ParamListUsedCount(list.get());
    std::vector<const KNOParam*> entries;
    try {
        entries.reserve(count);
    } catch (const std::bad_alloc&) {
        KNOSHDiag(0, kLabel, " Failed to allocate space for %d params", static_cast<int>(count));
        return KES_NO_MEMORY;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const KNOParam* entry = KNO_ParamListGetParam(list.get(), i);
        if (!entry) {
            KNOSHDiag(0, kLabel, "Failed to get param %d of %d.", static_cast<int>(i), static_cast<int>(count));
            return KES_BAD_PARAM;
        }
        entries.push_back(entry);
    }
    KNOSHDiag(10, kLabel, "Sorting %d params", static_cast<int>(count));
    // A stable merge sort never leaves the range, whatever the names.
    std::stable_sort(entries.begin(), entries.end(), ParamBefore);
    for (const KNOParam* entry : entries) {
        if (entry->type == KNO_PARAM_INT)
            PrintSuffixedName(IntKeyText(KNO_ParamGetInt(entry)).text, node, true);
        else
            PrintSuffixedName(KNO_ParamGetString(entry), node, true);
    }
    return KES_OK;
}

KES_ReturnStatus ListChildrenOrdered(const KNOSHPathElement* e) {
    static const char* const kLabel = "KNOSHListChildrenOrdered";
    const KNONodeInfo* node = e->nodeInfo;
    uint32_t module = e->moduleID;

    uint32_t count = 0;
    size_t room = 4;
    KES_ReturnStatus status = KNO_GetNumChildrenInt(node->nodeID, module, &count);
    if (status != KES_OK) {
        KNOSHDiag(10, kLabel, "Warning: could not count children: %s", KES_ReturnStatusToString(status));
    } else {
        KNOSHDiag(10, kLabel, "Found %d children", static_cast<int>(count));
        room = (static_cast<size_t>(count) + 3) / 4 * 4;
    }
    std::vector<Knosh::NodeInfoPtr> children;
    try {
        children.reserve(room);
    } catch (const std::bad_alloc&) {
        KNOSHDiag(0, kLabel, " Failed to allocate space for %d children", static_cast<int>(room));
        return KES_NO_MEMORY;
    }

    for (uint32_t id = KNO_GetChildNodeID(node, module); id != KNO_NO_NODE;) {
        KNONodeInfo* raw = nullptr;
        status = KNO_NodeInfoLookup(id, module, &raw);
        if (status != KES_OK) {
            KNOSHDiag(0, kLabel, " Failed to get nodeInfo for node %d: %s", static_cast<int>(id),
                      KES_ReturnStatusToString(status));
            return status;
        }
        Knosh::NodeInfoPtr child(raw);
        KNOSHDiag(20, kLabel, "n='%s'(%d): l=%d si=%d i=%d m=%d p=%d sib=%d", child->name, static_cast<int>(id),
                  child->isLeaf, child->si, child->isInstance, child->isModuleBranch, child->p,
                  static_cast<int>(child->siblingID));
        id = child->siblingID;
        if (!KNO_NodeExists(child->nodeID, module)) continue;
        if (children.size() == children.capacity()) {
            size_t grown = children.capacity() + 4;
            try {
                children.reserve(grown);
            } catch (const std::bad_alloc&) {
                KNOSHDiag(0, kLabel, " Failed to allocate space for %d children", static_cast<int>(grown));
                return KES_NO_MEMORY;
            }
            KNOSHDiag(10, kLabel, "Expanded children array to %d", static_cast<int>(grown));
        }
        children.push_back(std::move(child));
    }

    KNOSHDiag(10, kLabel, "Sorting %d children", static_cast<int>(children.size()));
    std::stable_sort(children.begin(), children.end(), [](const Knosh::NodeInfoPtr& a, const Knosh::NodeInfoPtr& b) {
        return Knosh::NaturalCompare(a->name, b->name) < 0;
    });
    for (const Knosh::NodeInfoPtr& child : children) PrintSuffixedName(child->name, child.get(), false);
    return KES_OK;
}

// Clears the node's type slots when the listing ends, since the handles in
// them are released then.
struct TypeSlots {
    KNONodeInfo* node;
    ~TypeSlots() { node->getType = node->setType = nullptr; }
};

KES_ReturnStatus ListPath(KNOSHPathElement* e, Listing listing) {
    static const char* const kLabel = "KNOSHListPath";
    if (!e) return KES_BAD_PARAM;  // no working path before start-up
    KNONodeInfo* node = e->nodeInfo;

    const KNOType* type = nullptr;
    KES_ReturnStatus status = KNO_LookupOutputTypeOfGet(node->nodeID, e->moduleID, &type);
    Knosh::TypePtr getType(type);
    if (status != KES_OK) return status;
    type = nullptr;
    status = KNO_LookupOutputTypeOfSet(node->nodeID, e->moduleID, &type);
    Knosh::TypePtr setType(type);
    if (status != KES_OK) return status;
    TypeSlots slots{node};
    node->getType = getType.get();
    node->setType = setType.get();

    if (node->isInstance) {
        if (!e->hasParam) {
            KNOSHDiag(5, kLabel, "end is instance, no param: list all params");
            return ListInstanceNodes(e, listing);
        }
        if (listing == Listing::Types) {
            PrintSuffixedName(TypeNameOf(node), node, true);
            return KES_OK;
        }
        if (node->isLeaf) {
            KNOSHDiag(5, kLabel, "end is parameterized instance; list param");
            if (e->param.type == KNO_PARAM_INT)
                PrintSuffixedName(IntKeyText(KNO_ParamGetInt(&e->param)).text, node, true);
            else
                PrintSuffixedName(KNO_ParamGetString(&e->param), node, true);
            return KES_OK;
        }
    } else if (node->isLeaf || listing == Listing::Types) {
        KNOSHDiag(5, kLabel, "end is leaf, or doing non-name listing");
        PrintSuffixedName(listing == Listing::Types ? TypeNameOf(node) : node->name, node, false);
        return KES_OK;
    }

    if (node->flags & KNO_NODE_FLAG_TRY_INSTANCE) {
        KNOSHDiag(5, kLabel, "end is rec instance: list all children");
        status = ListInstanceNodes(e, listing);
        if (status != KES_OK)
            KNOSHDiag(0, kLabel, "Failed to get nodes for node %d: %s", static_cast<int>(node->nodeID),
                      KES_ReturnStatusToString(status));
    }
    KNOSHDiag(6, kLabel, "end is branch, listing children (%d:%d)", 0, static_cast<int>(e->moduleID));
    return ListChildrenOrdered(e);
}

KES_ReturnStatus ListCommand(KNOSHArgs* args, Listing listing) {
    if (args->argc < 2) return ListPath(KNOSHPath_GetLeafElement(knoshCwd), listing);
    bool several = args->argc > 2;
    for (int32_t i = 1; i < args->argc; ++i) {
        if (several) KNOSHPrintf("%s%s:\n", i == 1 ? "" : "\n", args->argv[i]);
        KNOSHPathElement* raw = nullptr;
        KES_ReturnStatus status = KNOSHPath_Form(knoshCwd, args->argv[i], 1, &raw, nullptr);
        if (status != KES_OK) return status;
        Knosh::PathPtr path(raw);
        status = ListPath(KNOSHPath_GetLeafElement(path.get()), listing);
        if (status != KES_OK) return status;
    }
    return KES_OK;
}

} // namespace

KES_ReturnStatus KNOSHCmdLs(KNOSHArgs* args) { return ListCommand(args, Listing::Names); }

KES_ReturnStatus KNOSHCmdTypeLs(KNOSHArgs* args) { return ListCommand(args, Listing::Types); }

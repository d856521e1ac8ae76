// Node information, children, modules and node types.
#include <atomic>

#include "kno/guarded.h"
#include "kno/session.h"
#include "tarn/platform/kno/kno.h"
#include "tarn/platform/kno/kno_tree.h"

namespace {

using namespace TarnPlatform::Kno;

std::atomic<uint32_t> gNodeInfos{0};
std::atomic<uint32_t> gTypes{0};

KES_ReturnStatus NewInfo(const NodeDef& node, KNONodeInfo** out) {
    auto* info = new (std::nothrow) KNONodeInfo{};
    if (!info) return KES_NO_MEMORY;
    info->nodeID = node.id;
    info->isLeaf = node.leaf;
    info->isInstance = node.instance;
    info->isModuleBranch = node.moduleBranch;
    info->flags = node.flags;
    info->isIntegerKey = node.intKey;
    info->isDataNode = node.data;
    info->si = node.setForm == SetForm::Struct;
    info->p = node.setForm == SetForm::Params;
    info->getOutputSize = node.getType ? node.getType->size : 0;
    info->setInputSize = node.setInput ? node.setInput->size : 0;
    info->setOutputSize = node.setOutput ? node.setOutput->size : 0;
    info->siblingID = node.sibling;
    info->name = node.name.c_str();  // definitions are never freed
    info->parentID = node.parent;
    info->moduleID = node.module;
    *out = info;
    ++gNodeInfos;
    return KES_OK;
}

enum class Which { Get, SetOutput, Input };

KES_ReturnStatus LookupType(uint32_t nodeID, Which which, const KNOType** type) {
    if (!type) return KES_BAD_PARAM;
    *type = nullptr;
    return Guarded([&] {
        return WithTree(false, [&](const Tree& tree) {
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            *type = which == Which::Get ? node->getType : which == Which::SetOutput ? node->setOutput : node->setInput;
            if (*type) ++gTypes;
            return KES_OK;
        });
    });
}

} // namespace

extern "C" {

KES_ReturnStatus KNO_NodeInfoLookup(uint32_t nodeID, uint32_t /*moduleID*/, KNONodeInfo** info) {
    if (!info) return KES_BAD_PARAM;
    *info = nullptr;
    return Guarded([&] {
        return WithTree(false, [&](const Tree& tree) {
            const NodeDef* node = tree.defs->Node(nodeID);
            return node ? NewInfo(*node, info) : KES_NOT_FOUND;
        });
    });
}

void KNO_NodeInfoRelease(KNONodeInfo* info) {
    if (!info) return;
    delete info;
    --gNodeInfos;
}

KES_ReturnStatus KNO_ChildNodeLookup(const KNONodeInfo* parent, uint32_t moduleID, const char* name,
                                     KNONodeInfo** child) {
    if (!parent || !name || !child) return KES_BAD_PARAM;
    *child = nullptr;
    return Guarded([&] {
        return WithTree(false, [&](const Tree& tree) {
            const NodeDef* node = tree.defs->Node(parent->nodeID);
            if (!node) return KES_NOT_FOUND;
            for (uint32_t id : node->children) {
                const NodeDef& c = *tree.defs->Node(id);
                if (c.name == name && c.InModule(moduleID)) return NewInfo(c, child);
            }
            return KES_NOT_FOUND;
        });
    });
}

uint32_t KNO_GetChildNodeID(const KNONodeInfo* info, uint32_t /*moduleID*/) {
    if (!info) return KNO_NO_NODE;
    uint32_t first = KNO_NO_NODE;
    Guarded([&] {
        return WithTree(false, [&](const Tree& tree) {
            const NodeDef* node = tree.defs->Node(info->nodeID);
            if (node && !node->children.empty()) first = node->children.front();
            return KES_OK;
        });
    });
    return first;
}

KES_ReturnStatus KNO_GetNumChildrenInt(uint32_t nodeID, uint32_t moduleID, uint32_t* count) {
    if (!count) return KES_BAD_PARAM;
    *count = 0;
    return Guarded([&] {
        return WithTree(false, [&](const Tree& tree) {
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            for (uint32_t id : node->children) *count += tree.defs->Node(id)->InModule(moduleID);
            return KES_OK;
        });
    });
}

bool KNO_NodeExists(uint32_t nodeID, uint32_t moduleID) {
    bool exists = false;
    Guarded([&] {
        return WithTree(false, [&](const Tree& tree) {
            const NodeDef* node = tree.defs->Node(nodeID);
            exists = node && node->InModule(moduleID);
            return KES_OK;
        });
    });
    return exists;
}

uint32_t KNO_GetModuleID(const KNONodeInfo* info, const KNOParam* key) {
    if (!info || !key) return KNO_NO_MODULE;
    uint32_t module = KNO_NO_MODULE;
    Guarded([&] {
        return WithTree(false, [&](const Tree& tree) {
            const NodeDef* node = tree.defs->Node(info->nodeID);
            if (!node) return KES_NOT_FOUND;
            if (!node->moduleBranch) {
                module = 0;
                return KES_OK;
            }
            const Module* m = nullptr;
            if (key->type == KNO_PARAM_INT && key->u.intValue <= UINT32_MAX) {
                m = tree.defs->ModuleByID(static_cast<uint32_t>(key->u.intValue));
            } else if (key->type == KNO_PARAM_STRING && key->u.stringValue) {
                m = tree.defs->ModuleByName(key->u.stringValue);
            }
            if (m) module = m->id;
            return KES_OK;
        });
    });
    return module;
}

KES_ReturnStatus KNO_LookupOutputTypeOfGet(uint32_t nodeID, uint32_t /*moduleID*/, const KNOType** type) {
    return LookupType(nodeID, Which::Get, type);
}

KES_ReturnStatus KNO_LookupOutputTypeOfSet(uint32_t nodeID, uint32_t /*moduleID*/, const KNOType** type) {
    return LookupType(nodeID, Which::SetOutput, type);
}

KES_ReturnStatus KNO_LookupInputType(uint32_t nodeID, uint32_t /*moduleID*/, const KNOType** type) {
    return LookupType(nodeID, Which::Input, type);
}

void KNO_ReleaseType(const KNOType* type) {
    if (type) --gTypes;  // records belong to the definitions, which are kept
}

uint32_t KNO_OutstandingNodeInfos(void) { return gNodeInfos; }
uint32_t KNO_OutstandingTypes(void) { return gTypes; }

} // extern "C"

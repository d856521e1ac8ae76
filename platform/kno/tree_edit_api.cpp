// Preparing tree files: putting a value, and the instances it needs, into a
// tree file.
#include "kno/doc_edit.h"
#include "kno/guarded.h"
#include "kno/session.h"
#include "tarn/platform/kno/kno_tree.h"

namespace {

using namespace TarnPlatform::Kno;

KES_ReturnStatus Put(Tree& tree, DocEdit& edit, uint32_t nodeID, const KNOParamList* list, const uint8_t* bytes,
                     uint32_t length) {
    const NodeDef* node = tree.defs->Node(nodeID);
    if (!node) return KES_NOT_FOUND;
    if (!node->leaf || (!node->data && !node->getType)) return KES_NOT_READABLE;
    if (!node->data && length != node->getType->size) return KES_BAD_PARAM;
    KeyTuple keys;
    for (uint32_t i = 0; i < KNO_ParamListUsedCount(list); ++i) {
        const KNOParam* p = KNO_ParamListGetParam(list, i);
        if (p->type == KNO_PARAM_INT) keys.push_back(Key::Int(p->u.intValue));
        else if (p->type == KNO_PARAM_STRING && p->u.stringValue) keys.push_back(Key::Str(p->u.stringValue));
        else return KES_BAD_PARAM;
    }
    if (!node->keysAmbiguous) {
        if (keys.size() != node->instanceChain.size()) return KES_BAD_PARAM;
        for (size_t i = 0; i < keys.size(); ++i) {
            const NodeDef& owner = *tree.defs->Node(node->instanceChain[i]);
            if (keys[i].isInt != owner.intKey) return KES_BAD_PARAM;
            KeyTuple above(keys.begin(), keys.begin() + static_cast<long>(i));
            if (owner.moduleBranch) {
                const Module* m = keys[i].isInt ? tree.defs->ModuleByID(static_cast<uint32_t>(keys[i].number))
                                                : tree.defs->ModuleByName(keys[i].text);
                if (!m) return KES_NO_INSTANCE;  // modules are definitions, not state
                continue;
            }
            edit.AddInstance(tree, owner, above, keys[i]);
        }
    }
    edit.PutValue(tree, *node, keys, Bytes(bytes, bytes + length));
    return KES_OK;
}

} // namespace

extern "C" {

KES_ReturnStatus KNOTree_PutValue(const char* treeFile, uint32_t nodeID, const KNOParamList* keys, const void* bytes,
                                  uint32_t length) {
    const KNOTreeValue value = {nodeID, keys, bytes, length};
    return KNOTree_PutValues(treeFile, &value, 1);
}

KES_ReturnStatus KNOTree_PutValues(const char* treeFile, const KNOTreeValue* values, uint32_t count) {
    if (!treeFile || (count && !values)) return KES_BAD_PARAM;
    for (uint32_t i = 0; i < count; ++i)
        if (values[i].length && !values[i].bytes) return KES_BAD_PARAM;
    return Guarded([&] {
        auto change = [&](Tree& tree, rapidjson::Document& doc) {
            DocEdit edit(doc);
            for (uint32_t i = 0; i < count; ++i) {
                const KNOTreeValue& v = values[i];
                KES_ReturnStatus status =
                    Put(tree, edit, v.nodeID, v.keys, static_cast<const uint8_t*>(v.bytes), v.length);
                if (status != KES_OK) return status;  // nothing is written back
            }
            return KES_OK;
        };
        return ModifyFile(treeFile, change, nullptr);
    });
}

} // extern "C"

// Reading and setting node values, data objects and instance lists.
#include <algorithm>
#include <cstring>

#include "kno/alerts.h"
#include "kno/doc_edit.h"
#include "kno/guarded.h"
#include "kno/session.h"
#include "kno/value_codec.h"
#include "tarn/platform/kno/kno.h"

namespace {

using namespace TarnPlatform::Kno;

// A node and the instance keys of one of its values, with the value when
// one is stored.
struct Target {
    const NodeDef* node = nullptr;
    KeyTuple keys;
    const Bytes* stored = nullptr;
};

KES_ReturnStatus KeysOf(const KNOParamList* list, KeyTuple& keys) {
    keys.clear();
    for (uint32_t i = 0; i < KNO_ParamListUsedCount(list); ++i) {
        const KNOParam* param = KNO_ParamListGetParam(list, i);
        if (param->type == KNO_PARAM_INT) {
            keys.push_back(Key::Int(param->u.intValue));
        } else if (param->type == KNO_PARAM_STRING && param->u.stringValue) {
            keys.push_back(Key::Str(param->u.stringValue));
        } else {
            return KES_BAD_PARAM;
        }
    }
    return KES_OK;
}

// Every key must select an existing instance of its instance node. The keys
// of a stored value were checked when it was stored, and a state never loses
// an instance: a value found is the whole check.
KES_ReturnStatus Resolve(const Tree& tree, const NodeDef* node, const KNOParamList* list, Target& target) {
    target.node = node;
    target.stored = nullptr;
    if (!target.node) return KES_NOT_FOUND;
    KES_ReturnStatus status = KeysOf(list, target.keys);
    if (status != KES_OK) return status;
    target.stored = tree.state.values.Find(SlotOf(node->id, target.keys));
    if (target.stored || target.node->keysAmbiguous) return KES_OK;
    const auto& chain = target.node->instanceChain;
    if (target.keys.size() != chain.size()) return KES_BAD_PARAM;
    for (size_t i = 0; i < chain.size(); ++i) {
        if (!HasInstance(tree, *tree.defs->Node(chain[i]), target.keys.data(), i + 1)) return KES_NO_INSTANCE;
    }
    return KES_OK;
}

// The value's bytes: as stored, else the node's default; null when neither,
// and the value is then ZeroSize(node) zero bytes.
const Bytes* CurrentValue(const Target& target) {
    if (target.stored) return target.stored;
    return target.node->hasDefault ? &target.node->defaultValue : nullptr;
}

size_t ZeroSize(const NodeDef& node) { return node.getType ? node.getType->size : 0; }

// A copy of the value, for the calls that hand out its length or a copy.
Bytes ValueBytes(const Target& target) {
    const Bytes* value = CurrentValue(target);
    return value ? *value : Bytes(ZeroSize(*target.node), 0);
}

bool DataReadable(const NodeDef& node) { return node.data && node.Readable(); }

// Output of a set: the node's value after it, in the set output type.
KES_ReturnStatus CheckOutput(const NodeDef& node, const void* output, uint32_t outputSize) {
    if (outputSize && !output) return KES_BAD_PARAM;
    if (outputSize && node.setOutput && outputSize < node.setOutput->size) return KES_BUFFER_TOO_SMALL;
    return KES_OK;
}

void WriteOutput(const NodeDef& node, const Bytes& value, void* output, uint32_t outputSize) {
    if (!outputSize || !node.setOutput) return;
    std::memset(output, 0, node.setOutput->size);
    if (!value.empty()) std::memcpy(output, value.data(), std::min<size_t>(value.size(), node.setOutput->size));
}

void CopyToData(const Bytes& bytes, KNOData* data) {
    if (!data) return;
    data->length = static_cast<uint32_t>(std::min<size_t>(bytes.size(), data->capacity));
    if (data->length) std::memcpy(data->data, bytes.data(), data->length);  // an empty value has no bytes
}

// Stores bytes as the value of nodeID under keys in the tree file; the keys
// are checked again against the file as it is now.
KES_ReturnStatus StoreValue(uint32_t nodeID, const KNOParamList* keys, const Bytes& bytes) {
    return ModifyTree([&](Tree& tree, rapidjson::Document& doc) {
        Target target;
        KES_ReturnStatus status = Resolve(tree, tree.defs->Node(nodeID), keys, target);
        if (status == KES_OK) DocEdit(doc).PutValue(tree, *target.node, target.keys, bytes);
        return status;
    });
}

// What a set will write, worked out against the current tree.
struct SetPlan {
    bool write = false;
    Bytes value;
    const NodeDef* node = nullptr;
};

} // namespace

extern "C" {

KES_ReturnStatus KNO_GetInstanceListAlloc(uint32_t nodeID, const KNOParamList* keys, KNOParamList** list) {
    if (!list) return KES_BAD_PARAM;
    *list = nullptr;
    return Guarded([&] {
        return WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            if (!node->HasInstances()) return KES_BAD_PARAM;
            KeyTuple above;
            if (KeysOf(keys, above) != KES_OK) return KES_BAD_PARAM;
            auto instances = InstancesOf(tree, *node, above);
            KNOParamList* out = KNO_ParamListCreate(0, static_cast<uint32_t>(instances.size()));
            if (!out) return KES_NO_MEMORY;
            for (const Key& key : instances) {
                KES_ReturnStatus status =
                    key.isInt ? KNO_ParamListAddInt(out, key.number) : KNO_ParamListAddString(out, key.text.c_str());
                if (status != KES_OK) {
                    KNO_ParamListDestroy(out);
                    return status;
                }
            }
            *list = out;
            return KES_OK;
        });
    });
}

KES_ReturnStatus KNO_Get(uint32_t nodeID, const KNOParamList* keys, void* buffer, uint32_t size) {
    return Guarded([&] {
        return WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
            // The hottest call: its keys' storage is kept from one call of
            // the thread to the next.
            thread_local Target target;
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            if (!node->leaf || node->data || !node->getType) return KES_NOT_READABLE;
            if (!buffer) return KES_BAD_PARAM;
            if (size < node->getType->size) return KES_BUFFER_TOO_SMALL;
            KES_ReturnStatus status = Resolve(tree, node, keys, target);
            if (status != KES_OK) return status;
            if (const Bytes* value = CurrentValue(target)) {
                if (!value->empty()) std::memcpy(buffer, value->data(), value->size());
            } else {
                std::memset(buffer, 0, ZeroSize(*node));
            }
            return KES_OK;
        });
    });
}

KES_ReturnStatus KNO_Set(uint32_t nodeID, const KNOParamList* keys, const KNOParamList* params, void* output,
                         uint32_t outputSize) {
    return Guarded([&] {
        SetPlan plan;
        KES_ReturnStatus status = WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
            Target target;
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            if (node->setForm != SetForm::Params) return KES_READ_ONLY;
            KES_ReturnStatus checked = CheckOutput(*node, output, outputSize);
            if (checked == KES_OK) checked = Resolve(tree, node, keys, target);
            if (checked != KES_OK) return checked;
            std::vector<const KNOParam*> args;
            for (uint32_t i = 0; i < KNO_ParamListUsedCount(params); ++i) args.push_back(KNO_ParamListGetParam(params, i));
            plan.node = node;
            switch (node->setAction) {
            case SetAction::Alert:
                if (args.empty()) return KES_INCOMPLETE;
                if (args.size() > 1 || args[0]->type != KNO_PARAM_STRING || !args[0]->u.stringValue) {
                    return KES_BAD_PARAM;
                }
                return RaiseAlert(args[0]->u.stringValue);
            case SetAction::Reset:
                if (!args.empty()) return KES_BAD_PARAM;
                plan.value = node->hasDefault ? node->defaultValue : Bytes(node->getType->size, 0);
                plan.write = true;
                return KES_OK;
            case SetAction::Store:
                plan.write = true;
                return EncodeParams(*node->getType, args, plan.value);
            default:
                return KES_READ_ONLY;
            }
        });
        if (status != KES_OK || !plan.write) return status;
        status = StoreValue(nodeID, keys, plan.value);
        if (status == KES_OK) WriteOutput(*plan.node, plan.value, output, outputSize);
        return status;
    });
}

KES_ReturnStatus KNO_SetStruct(uint32_t nodeID, const KNOParamList* keys, const void* input, uint32_t inputSize,
                               void* output, uint32_t outputSize) {
    return Guarded([&] {
        SetPlan plan;
        KES_ReturnStatus status = WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
            Target target;
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            if (node->setForm != SetForm::Struct) return KES_READ_ONLY;
            if (!input || inputSize != node->setInput->size) return KES_BAD_PARAM;
            KES_ReturnStatus checked = CheckOutput(*node, output, outputSize);
            if (checked == KES_OK) checked = Resolve(tree, node, keys, target);
            if (checked != KES_OK) return checked;
            plan.node = node;
            plan.value.assign(static_cast<const uint8_t*>(input), static_cast<const uint8_t*>(input) + inputSize);
            plan.write = node->setAction == SetAction::Store;
            return KES_OK;
        });
        if (status == KES_OK && plan.write) status = StoreValue(nodeID, keys, plan.value);
        if (status == KES_OK) WriteOutput(*plan.node, plan.value, output, outputSize);
        return status;
    });
}

KES_ReturnStatus KNO_GetDataLength(uint32_t nodeID, const KNOParamList* keys, uint32_t* length) {
    if (!length) return KES_BAD_PARAM;
    *length = 0;
    return Guarded([&] {
        return WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
            Target target;
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            if (node->data && node->setForm == SetForm::Data && node->setAction == SetAction::Echo) {
                return KES_LENGTH_FOLLOWS_INPUT;
            }
            if (!DataReadable(*node)) return KES_NOT_READABLE;
            KES_ReturnStatus status = Resolve(tree, node, keys, target);
            if (status == KES_OK) *length = static_cast<uint32_t>(ValueBytes(target).size());
            return status;
        });
    });
}

KES_ReturnStatus KNO_GetData(uint32_t nodeID, const KNOParamList* keys, KNOData* data) {
    if (!data) return KES_BAD_PARAM;
    return Guarded([&] {
        return WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
            Target target;
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            if (!DataReadable(*node)) return KES_NOT_READABLE;
            KES_ReturnStatus status = Resolve(tree, node, keys, target);
            if (status != KES_OK) return status;
            Bytes value = ValueBytes(target);
            if (value.size() > data->capacity) return KES_BUFFER_TOO_SMALL;
            CopyToData(value, data);
            return KES_OK;
        });
    });
}

KES_ReturnStatus KNO_SetData(uint32_t nodeID, const KNOParamList* keys, const KNOData* input, KNOData* output) {
    if (!input || input->length > input->capacity) return KES_BAD_PARAM;
    return Guarded([&] {
        SetPlan plan;
        KES_ReturnStatus status = WithTree(true, [&](const Tree& tree) -> KES_ReturnStatus {
            Target target;
            const NodeDef* node = tree.defs->Node(nodeID);
            if (!node) return KES_NOT_FOUND;
            if (node->setForm != SetForm::Data) return KES_READ_ONLY;
            KES_ReturnStatus checked = Resolve(tree, node, keys, target);
            if (checked != KES_OK) return checked;
            plan.value.assign(input->data, input->data + input->length);
            plan.write = node->setAction == SetAction::Store;
            return KES_OK;
        });
        if (status == KES_OK && plan.write) status = StoreValue(nodeID, keys, plan.value);
        if (status == KES_OK) CopyToData(plan.value, output);
        return status;
    });
}

} // extern "C"

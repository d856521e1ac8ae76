// The "instances" and "values" sections: which instances exist and what the
// nodes hold.
#include <algorithm>

#include "kno/json_fields.h"
#include "kno/loader_parts.h"
#include "kno/tree_loader.h"
#include "kno/value_codec.h"

namespace TarnPlatform::Kno {
namespace {

using Json::Fail;
using rapidjson::Value;

const NodeDef& NodeAt(const Tree& tree, const Value& entry, const std::string& where) {
    uint32_t id = static_cast<uint32_t>(Json::Unsigned(entry, "node", where, KNO_NO_NODE - 1, true));
    const NodeDef* node = tree.defs->Node(id);
    if (!node) Fail(where, "node " + std::to_string(id) + " does not exist");
    return *node;
}

std::string NodeWhere(const std::string& where, const NodeDef& node) {
    return where + " (node " + std::to_string(node.id) + " '" + node.name + "')";
}

void CheckKeyKinds(const NodeDef& node, const std::vector<Key>& keys, const std::string& where) {
    for (const Key& key : keys) {
        if (key.isInt != node.intKey) {
            Fail(where, "key " + KeysText({key}) + " must be " + (node.intKey ? "an integer" : "a text"));
        }
    }
}

void LoadInstances(const Value* instances, const Tree& tree, State& state) {
    if (!instances) return;
    for (rapidjson::SizeType i = 0; i < instances->Size(); ++i) {
        std::string where = "instances[" + std::to_string(i) + "]";
        const Value& entry = Json::RequireObject((*instances)[i], where);
        Json::CheckMembers(entry, {"node", "above", "keys"}, where);
        const NodeDef& node = NodeAt(tree, entry, where);
        where = NodeWhere(where, node);
        if (!node.HasInstances()) Fail(where, "the node has no instances");
        if (node.moduleBranch) Fail(where, "the instances of a module branch are the modules");
        KeyTuple above = KeysFromJson(Json::Find(entry, "above"), where + " above");
        const Value* keys = Json::Array(entry, "keys", where);
        if (!keys) Fail(where, "'keys' is missing");
        KeyTuple list = KeysFromJson(keys, where + " keys");
        CheckKeyKinds(node, list, where);
        if (!node.keysAmbiguous && above.size() + 1 != node.instanceChain.size()) {
            Fail(where, "'above' needs " + std::to_string(node.instanceChain.size() - 1) +
                            " keys (one per instance node above it)");
        }
        const std::string slot = SlotOf(node.id, above);
        if (state.instances.count(slot)) Fail(where, "instances above " + KeysText(above) + " listed twice");
        for (const Key& key : list) {
            if (!state.instanceSlots.Insert(InstanceSlot(node.id, above, key), true).second)
                Fail(where, "key " + KeysText({key}) + " listed twice");
        }
        state.instances.emplace(slot, std::move(list));
    }
}

// The keys of a value must name existing instances, one per instance node
// on the path (unless the path allows a varying number of keys).
void CheckValueKeys(const Tree& tree, const NodeDef& node, const KeyTuple& keys, const std::string& where) {
    if (node.keysAmbiguous) return;
    if (keys.size() != node.instanceChain.size()) {
        Fail(where, "needs " + std::to_string(node.instanceChain.size()) + " instance keys, not " +
                        std::to_string(keys.size()));
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        const NodeDef& owner = *tree.defs->Node(node.instanceChain[i]);
        if (!HasInstance(tree, owner, keys.data(), i + 1)) {
            const KeyTuple above(keys.begin(), keys.begin() + static_cast<long>(i));
            Fail(where, "key " + KeysText({keys[i]}) + " is no instance of node " + std::to_string(owner.id) + " ('" +
                            owner.name + "') under " + KeysText(above));
        }
    }
}

void LoadValues(const Value* values, const Tree& tree, State& state) {
    if (!values) return;
    for (rapidjson::SizeType i = 0; i < values->Size(); ++i) {
        std::string where = "values[" + std::to_string(i) + "]";
        const Value& entry = Json::RequireObject((*values)[i], where);
        Json::CheckMembers(entry, {"node", "keys", "value", "hex", "text"}, where);
        const NodeDef& node = NodeAt(tree, entry, where);
        where = NodeWhere(where, node);
        if (!node.leaf || (!node.data && !node.getType)) Fail(where, "the node holds no value");
        KeyTuple keys = KeysFromJson(Json::Find(entry, "keys"), where + " keys");
        CheckValueKeys(tree, node, keys, where);

        const Value* typed = Json::Find(entry, "value");
        const Value* hex = Json::Find(entry, "hex");
        const Value* text = Json::Find(entry, "text");
        if ((typed != nullptr) + (hex != nullptr) + (text != nullptr) != 1) {
            Fail(where, "give exactly one of 'value', 'hex' and 'text'");
        }
        Bytes bytes;
        if (hex) {
            if (!hex->IsString() || !FromHex(hex->GetString(), bytes)) Fail(where, "'hex' must be pairs of hex digits");
            if (!node.data && bytes.size() != node.getType->size) {
                Fail(where, "value of wrong size: " + std::to_string(bytes.size()) + " bytes, type '" +
                                node.getType->name + "' has " + std::to_string(node.getType->size));
            }
        } else if (text) {
            if (!node.data) Fail(where, "'text' is for data nodes; use 'value'");
            if (!text->IsString()) Fail(where, "'text' must be a text");
            bytes.assign(text->GetString(), text->GetString() + text->GetStringLength());
        } else {
            if (node.data) Fail(where, "a data node's value is given as 'text' or 'hex'");
            bytes.assign(node.getType->size, 0);
            try {
                EncodeJson(*node.getType, *typed, bytes.data());
            } catch (const ValueError& e) {
                Fail(where, e.what());
            }
        }
        if (!state.values.Insert(SlotOf(node.id, keys), std::move(bytes)).second) {
            Fail(where, "value for keys " + KeysText(keys) + " given twice");
        }
    }
}

} // namespace

State LoadState(const Value* instances, const Value* values, const Tree& tree) {
    // Values are checked against the instances, so the tree under
    // construction gets the instances first.
    Tree staged;
    staged.defs = tree.defs;
    LoadInstances(instances, tree, staged.state);
    LoadValues(values, staged, staged.state);
    return std::move(staged.state);
}

} // namespace TarnPlatform::Kno

#include "kno/tree.h"

#include <algorithm>
#include <cstring>

namespace TarnPlatform::Kno {

std::string SlotOf(uint32_t nodeID, const Key* keys, size_t count) {
    std::string slot(reinterpret_cast<const char*>(&nodeID), sizeof nodeID);
    for (const Key* key = keys; key != keys + count; ++key) {
        if (key->isInt) {
            slot += 'i';
            slot.append(reinterpret_cast<const char*>(&key->number), sizeof key->number);
        } else {
            uint32_t length = static_cast<uint32_t>(key->text.size());
            slot += 's';
            slot.append(reinterpret_cast<const char*>(&length), sizeof length);
            slot += key->text;
        }
    }
    return slot;
}

const Module* Definitions::ModuleByName(const std::string& name) const {
    for (const Module& m : modules) {
        if (m.name == name) return &m;
    }
    return nullptr;
}

const Module* Definitions::ModuleByID(uint32_t id) const {
    for (const Module& m : modules) {
        if (m.id == id) return &m;
    }
    return nullptr;
}

std::vector<Key> InstancesOf(const Tree& tree, const NodeDef& node, const KeyTuple& above) {
    std::vector<Key> keys;
    if (node.moduleBranch) {
        for (const Module& m : tree.defs->modules) keys.push_back(node.intKey ? Key::Int(m.id) : Key::Str(m.name));
        return keys;
    }
    auto it = tree.state.instances.find(SlotOf(node.id, above));
    if (it != tree.state.instances.end()) keys = it->second;
    return keys;
}

std::string InstanceSlot(uint32_t nodeID, const KeyTuple& above, const Key& key) {
    KeyTuple keys = above;
    keys.push_back(key);
    return SlotOf(nodeID, keys);
}

bool HasInstance(const Tree& tree, const NodeDef& node, const Key* keys, size_t count) {
    if (node.moduleBranch) {
        auto modules = InstancesOf(tree, node, KeyTuple(keys, keys + count - 1));
        return std::find(modules.begin(), modules.end(), keys[count - 1]) != modules.end();
    }
    return tree.state.instanceSlots.Find(SlotOf(node.id, keys, count)) != nullptr;
}

} // namespace TarnPlatform::Kno

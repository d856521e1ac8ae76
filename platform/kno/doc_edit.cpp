#include "kno/doc_edit.h"

#include <algorithm>

#include "kno/tree_loader.h"
#include "kno/value_codec.h"

namespace TarnPlatform::Kno {
namespace {

using rapidjson::Value;

Value& SectionOf(rapidjson::Document& doc, const char* name) {
    auto it = doc.FindMember(name);
    if (it == doc.MemberEnd()) {
        doc.AddMember(Value(name, doc.GetAllocator()), Value(rapidjson::kArrayType), doc.GetAllocator());
        it = doc.FindMember(name);
    }
    return it->value;
}

Value KeysToJson(const KeyTuple& keys, rapidjson::Document::AllocatorType& alloc) {
    Value list(rapidjson::kArrayType);
    for (const Key& key : keys) list.PushBack(KeyToJson(key, alloc), alloc);
    return list;
}

// The entry of section for node whose keysField holds keys (absent = none).
Value* FindEntry(Value& section, uint32_t nodeID, const char* keysField, const KeyTuple& keys) {
    for (auto& entry : section.GetArray()) {
        auto node = entry.FindMember("node");
        if (node == entry.MemberEnd() || !node->value.IsUint64() || node->value.GetUint64() != nodeID) continue;
        auto field = entry.FindMember(keysField);
        if (KeysFromJson(field == entry.MemberEnd() ? nullptr : &field->value, keysField) == keys) return &entry;
    }
    return nullptr;
}

} // namespace

void PutValue(Tree& tree, rapidjson::Document& doc, const NodeDef& node, const KeyTuple& keys, const Bytes& bytes) {
    tree.state.values[SlotOf(node.id, keys)] = bytes;

    auto& alloc = doc.GetAllocator();
    Value entry(rapidjson::kObjectType);
    entry.AddMember("node", Value(node.id), alloc);
    if (!keys.empty()) entry.AddMember("keys", KeysToJson(keys, alloc), alloc);
    Value name, value;
    ValueForFile(node.data ? nullptr : node.getType, bytes, name, value, alloc);
    entry.AddMember(name, value, alloc);

    Value& section = SectionOf(doc, "values");
    if (Value* old = FindEntry(section, node.id, "keys", keys)) {
        *old = entry;
    } else {
        section.PushBack(entry, alloc);
    }
}

void AddInstance(Tree& tree, rapidjson::Document& doc, const NodeDef& node, const KeyTuple& above, const Key& key) {
    auto& list = tree.state.instances[SlotOf(node.id, above)];
    if (!tree.state.instanceSlots.insert(InstanceSlot(node.id, above, key)).second) return;
    list.push_back(key);

    auto& alloc = doc.GetAllocator();
    Value& section = SectionOf(doc, "instances");
    if (Value* entry = FindEntry(section, node.id, "above", above)) {
        entry->FindMember("keys")->value.PushBack(KeyToJson(key, alloc), alloc);
        return;
    }
    Value entry(rapidjson::kObjectType);
    entry.AddMember("node", Value(node.id), alloc);
    if (!above.empty()) entry.AddMember("above", KeysToJson(above, alloc), alloc);
    Value keys(rapidjson::kArrayType);
    keys.PushBack(KeyToJson(key, alloc), alloc);
    entry.AddMember("keys", keys, alloc);
    section.PushBack(entry, alloc);
}

} // namespace TarnPlatform::Kno

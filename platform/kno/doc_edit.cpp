#include "kno/doc_edit.h"

#include <cstdint>

#include "kno/tree_loader.h"
#include "kno/value_codec.h"

namespace TarnPlatform::Kno {
namespace {

using rapidjson::Value;

Value KeysToJson(const KeyTuple& keys, rapidjson::Document::AllocatorType& alloc) {
    Value list(rapidjson::kArrayType);
    for (const Key& key : keys) list.PushBack(KeyToJson(key, alloc), alloc);
    return list;
}

} // namespace

Value& DocEdit::Section(const char* name) {
    auto it = doc_.FindMember(name);
    if (it == doc_.MemberEnd()) {
        doc_.AddMember(Value(name, doc_.GetAllocator()), Value(rapidjson::kArrayType), doc_.GetAllocator());
        it = doc_.FindMember(name);
    }
    return it->value;
}

Value* DocEdit::Find(Index& index, uint32_t nodeID, const KeyTuple& keys) {
    Value& section = Section(index.section);
    if (!index.made) {
        for (rapidjson::SizeType i = 0; i < section.Size(); ++i) {
            const Value& entry = section[i];
            auto node = entry.FindMember("node");
            if (node == entry.MemberEnd() || !node->value.IsUint64() || node->value.GetUint64() > UINT32_MAX) continue;
            auto field = entry.FindMember(index.keysField);
            const KeyTuple held = KeysFromJson(field == entry.MemberEnd() ? nullptr : &field->value, index.keysField);
            index.positions.emplace(SlotOf(static_cast<uint32_t>(node->value.GetUint64()), held), i);
        }
        index.made = true;
    }
    auto it = index.positions.find(SlotOf(nodeID, keys));
    return it == index.positions.end() ? nullptr : &section[it->second];
}

void DocEdit::Add(Index& index, uint32_t nodeID, const KeyTuple& keys, Value entry) {
    Value& section = Section(index.section);
    index.positions.emplace(SlotOf(nodeID, keys), section.Size());
    section.PushBack(entry, doc_.GetAllocator());
}

void DocEdit::PutValue(Tree& tree, const NodeDef& node, const KeyTuple& keys, const Bytes& bytes) {
    tree.state.values[SlotOf(node.id, keys)] = bytes;

    auto& alloc = doc_.GetAllocator();
    Value entry(rapidjson::kObjectType);
    entry.AddMember("node", Value(node.id), alloc);
    if (!keys.empty()) entry.AddMember("keys", KeysToJson(keys, alloc), alloc);
    Value name, value;
    ValueForFile(node.data ? nullptr : node.getType, bytes, name, value, alloc);
    entry.AddMember(name, value, alloc);

    if (Value* old = Find(values_, node.id, keys)) {
        *old = entry;
    } else {
        Add(values_, node.id, keys, std::move(entry));
    }
}

void DocEdit::AddInstance(Tree& tree, const NodeDef& node, const KeyTuple& above, const Key& key) {
    auto& list = tree.state.instances[SlotOf(node.id, above)];
    if (!tree.state.instanceSlots.Insert(InstanceSlot(node.id, above, key), true).second) return;
    list.push_back(key);

    auto& alloc = doc_.GetAllocator();
    if (Value* entry = Find(instances_, node.id, above)) {
        entry->FindMember("keys")->value.PushBack(KeyToJson(key, alloc), alloc);
        return;
    }
    Value entry(rapidjson::kObjectType);
    entry.AddMember("node", Value(node.id), alloc);
    if (!above.empty()) entry.AddMember("above", KeysToJson(above, alloc), alloc);
    Value keys(rapidjson::kArrayType);
    keys.PushBack(KeyToJson(key, alloc), alloc);
    entry.AddMember("keys", keys, alloc);
    Add(instances_, node.id, above, std::move(entry));
}

} // namespace TarnPlatform::Kno

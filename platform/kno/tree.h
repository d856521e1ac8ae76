// The in-memory kernel-info tree: definitions (types, modules, nodes), which
// never change once loaded, and state (instance lists, values), which sets
// change and which is re-read when the tree file changes.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "kno/slot_table.h"
#include "tarn/platform/kno/kno.h"

namespace TarnPlatform::Kno {

using Bytes = std::vector<uint8_t>;

// One instance key.
struct Key {
    bool isInt = true;
    uint64_t number = 0;
    std::string text;

    bool operator==(const Key& o) const {
        return isInt == o.isInt && (isInt ? number == o.number : text == o.text);
    }
    static Key Int(uint64_t n) { return Key{true, n, {}}; }
    static Key Str(std::string s) { return Key{false, 0, std::move(s)}; }
};
using KeyTuple = std::vector<Key>;

// Map key of a node under an instance-key tuple (or its first count keys).
std::string SlotOf(uint32_t nodeID, const Key* keys, size_t count);
inline std::string SlotOf(uint32_t nodeID, const KeyTuple& keys) { return SlotOf(nodeID, keys.data(), keys.size()); }

enum class SetForm { None, Params, Struct, Data };
enum class SetAction { Store, Reset, Alert, Echo };

struct NodeDef {
    uint32_t id = 0;
    uint32_t parent = KNO_NO_NODE;
    std::string name;
    bool leaf = false;
    bool instance = false;
    bool moduleBranch = false;
    bool intKey = false;
    bool data = false;
    uint8_t flags = 0;
    uint32_t module = 0;
    const KNOType* getType = nullptr;
    SetForm setForm = SetForm::None;
    SetAction setAction = SetAction::Store;
    const KNOType* setInput = nullptr;
    const KNOType* setOutput = nullptr;
    bool hasDefault = false;
    Bytes defaultValue;

    std::vector<uint32_t> children;  // sibling order
    uint32_t sibling = KNO_NO_NODE;
    // Instance nodes from the root to this node inclusive: the i-th key of a
    // value's key tuple selects an instance of instanceChain[i]. Not usable
    // (keysAmbiguous) when a node on the path may take keys in place of
    // children, since then the number of keys varies with the path.
    std::vector<uint32_t> instanceChain;
    bool keysAmbiguous = false;

    bool HasInstances() const { return instance || (flags & KNO_NODE_FLAG_TRY_INSTANCE); }
    bool InModule(uint32_t moduleID) const { return module == 0 || module == moduleID; }
    bool Readable() const {
        return leaf && (data ? setAction != SetAction::Echo || setForm != SetForm::Data : getType != nullptr);
    }
};

struct Module {
    uint32_t id;
    std::string name;
};

// Loaded definitions. Never freed once loaded: records, names and type
// handles handed out point into them.
struct Definitions {
    std::vector<KNOType> types;  // reserved up front; addresses are stable
    std::unordered_map<std::string, const KNOType*> typesByName;
    std::deque<std::string> texts;
    std::deque<std::vector<KNOStructMember>> memberLists;
    std::deque<std::vector<KNOEnumValue>> valueLists;
    std::vector<Module> modules;
    std::unordered_map<uint32_t, NodeDef> nodes;
    std::vector<uint32_t> nodeOrder;  // file order
    std::string digest;  // MD5 over everything above

    const char* Intern(const std::string& text) { return texts.emplace_back(text).c_str(); }
    const NodeDef* Node(uint32_t id) const {
        auto it = nodes.find(id);
        return it == nodes.end() ? nullptr : &it->second;
    }
    const Module* ModuleByName(const std::string& name) const;
    const Module* ModuleByID(uint32_t id) const;
};

struct State {
    std::unordered_map<std::string, std::vector<Key>> instances;  // SlotOf(node, keys above)
    // SlotOf(node, keys above + key) of every listed instance (the flag is
    // always set): membership in constant time, since an inode list holds
    // one key per file.
    SlotTable<bool> instanceSlots;
    // SlotOf(node, keys). The keys of a value name listed instances (checked
    // when it is loaded or set, unless the node's keys vary with the path):
    // a read that finds the value needs no instance lookup.
    SlotTable<Bytes> values;
};

// Identity of a file's current content: a replaced file has another inode
// or time stamp, and the file it replaced another link count.
struct FileStamp {
    uint64_t device = 0, inode = 0, size = 0, links = 0;
    int64_t mtimeNs = 0, ctimeNs = 0;
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size && links == o.links &&
               mtimeNs == o.mtimeNs && ctimeNs == o.ctimeNs;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};

struct Tree {
    std::shared_ptr<const Definitions> defs;
    State state;
    std::string buildDate;    // the kernel's build date
    std::string declaredMd5;  // "" when the file declares none
    std::string file;
    FileStamp stamp;

    const std::string& KernelMd5() const { return declaredMd5.empty() ? defs->digest : declaredMd5; }
};

// The instance keys of a node under the keys above it: the modules for a
// module branch, else the tree's list (empty when none).
std::vector<Key> InstancesOf(const Tree& tree, const NodeDef& node, const KeyTuple& above);
// Whether the last of keys[0..count) is one of them under the keys before it.
bool HasInstance(const Tree& tree, const NodeDef& node, const Key* keys, size_t count);
// SlotOf(node, above + key).
std::string InstanceSlot(uint32_t nodeID, const KeyTuple& above, const Key& key);

} // namespace TarnPlatform::Kno

// Changes to a tree file's document that mirror changes to the tree's state,
// so the file written back holds them.
#pragma once

#include <string>
#include <unordered_map>

#include "kno/tree.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {

// The edits of one change of one document. The entries to replace or extend
// are found through an index of each section, made on its first use, so a
// change of n values costs O(n), not a scan of the section per value.
class DocEdit {
public:
    explicit DocEdit(rapidjson::Document& doc) : doc_(doc) {}

    // The value of node under keys becomes bytes, in the tree and in the
    // document's "values" (the entry for node and keys is replaced or added).
    void PutValue(Tree& tree, const NodeDef& node, const KeyTuple& keys, const Bytes& bytes);

    // key joins the instances of node under the keys above, in the tree and
    // in the document's "instances", unless it is there already.
    void AddInstance(Tree& tree, const NodeDef& node, const KeyTuple& above, const Key& key);

private:
    // A section's entries by SlotOf(node, the keys in keysField): positions,
    // which stay valid as entries are added. The first of repeated entries counts.
    struct Index {
        Index(const char* sectionName, const char* keys) : section(sectionName), keysField(keys) {}
        const char* section;
        const char* keysField;
        bool made = false;
        std::unordered_map<std::string, rapidjson::SizeType> positions;
    };
    rapidjson::Value& Section(const char* name);
    rapidjson::Value* Find(Index& index, uint32_t nodeID, const KeyTuple& keys);
    void Add(Index& index, uint32_t nodeID, const KeyTuple& keys, rapidjson::Value entry);

    rapidjson::Document& doc_;
    Index values_{"values", "keys"};
    Index instances_{"instances", "above"};
};

} // namespace TarnPlatform::Kno

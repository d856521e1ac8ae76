// Changes to a tree file's document that mirror changes to the tree's state,
// so the file written back holds them.
#pragma once

#include "kno/tree.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {

// The value of node under keys becomes bytes, in the tree and in the
// document's "values" (the entry for node and keys is replaced or added).
void PutValue(Tree& tree, rapidjson::Document& doc, const NodeDef& node, const KeyTuple& keys, const Bytes& bytes);

// key joins the instances of node under the keys above, in the tree and in
// the document's "instances", unless it is there already.
void AddInstance(Tree& tree, rapidjson::Document& doc, const NodeDef& node, const KeyTuple& above, const Key& key);

} // namespace TarnPlatform::Kno

// Reading a tree file's text into a Tree, refusing malformed or
// inconsistent files with a message that names the problem.
#pragma once

#include <stdexcept>
#include <string>

#include "kno/tree.h"
#include "tarn/rapidjson.h"

namespace TarnPlatform::Kno {

struct LoadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Parses the whole text into doc (kept by writers to write it back) and
// builds the tree from it. Definitions equal to ones loaded before are
// shared with them. Throws LoadError; the file and stamp fields are left to
// the caller.
Tree ParseTree(const std::string& text, rapidjson::Document& doc);

// Definitions already loaded by this process are kept (never freed); this
// returns the kept copy equal to defs, or keeps defs.
std::shared_ptr<const Definitions> InternDefinitions(std::unique_ptr<Definitions> defs);

// The MD5 of the definitions in canonical form.
std::string DefinitionsDigest(const Definitions& defs);

// Instance keys as JSON: an integer or a text.
Key KeyFromJson(const rapidjson::Value& value, const std::string& where);
KeyTuple KeysFromJson(const rapidjson::Value* value, const std::string& where);
rapidjson::Value KeyToJson(const Key& key, rapidjson::Document::AllocatorType& alloc);
std::string KeysText(const KeyTuple& keys);  // [1, "vnic0"] for messages

} // namespace TarnPlatform::Kno

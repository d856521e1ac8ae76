// Parsed JSON documents shared by reference counting, and the lookup of a
// value by a path of member names and instance selectors.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/rapidjson.h"

namespace TarnConfigStore {

// Chunk capacity of every document's memory pool: small, so a document costs
// little until it grows; each value larger than a chunk gets its own block.
constexpr size_t JSON_POOL_CHUNK_CAPACITY = 64;

// One step of a path: a member name, and an instance selector used only when
// the member holds an array (the element whose instanceKey member equals
// instanceValue).
struct JsonNode {
    std::string name;
    std::string instanceKey;
    std::string instanceValue;
};

class TARN_EXPORT JsonDoc {
public:
    std::vector<JsonNode> nodes;
    // The root value. The document's own reference keeps its pool alive, so
    // a copy of this pointer stays usable after the JsonDoc is gone.
    std::shared_ptr<rapidjson::Document> document;
    // The pool that every value of the document lives in; values are never
    // freed one by one. New values added to the document allocate from it.
    std::shared_ptr<rapidjson::MemoryPoolAllocator<>> allocator;

    JsonDoc() = default;
    // Releases allocator, then document, then nodes. The pool itself goes
    // only after the document, whichever reference is dropped last.
    ~JsonDoc();
    JsonDoc(const JsonDoc&) = delete;
    JsonDoc& operator=(const JsonDoc&) = delete;

    // The value that nodes selects (the root when nodes is empty). Throws
    // ConfigStoreException "Subobject does not exists." or "Subobject
    // instance does not exists." when the path leads nowhere.
    rapidjson::Value* GetJsonValuePtr();
};

TARN_EXPORT std::shared_ptr<JsonDoc> CreateDocument();
// InvalidArgumentException 1081 naming the path when the file does not hold
// exactly one JSON value.
TARN_EXPORT std::shared_ptr<JsonDoc> CreateDocumentFromFile(const std::string& path);
// InvalidArgumentException 1080 when the text is not exactly one JSON value.
TARN_EXPORT std::shared_ptr<JsonDoc> CreateDocumentFromString(const std::string& text);

} // namespace TarnConfigStore

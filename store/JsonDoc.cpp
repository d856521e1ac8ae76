#include "tarn/json_doc.h"

#include <fstream>

#include "tarn/error_codes.h"
#include "tarn/exceptions.h"
#include "tarn/platform/config_store_document.h"
#include "tarn/platform/cs_logger.h"

namespace TarnConfigStore {

namespace {

using Pool = rapidjson::MemoryPoolAllocator<>;

// Deleter of a document that holds a reference to the document's pool. The
// values live in the pool, and a document may touch them while it is
// destroyed, so the pool must outlive the document whatever order the
// references are dropped in: by JsonDoc's destructor, or by callers that
// kept a copy of one pointer and not the other.
struct DeleteDocumentThenPool {
    std::shared_ptr<Pool> pool;
    void operator()(rapidjson::Document* document) {
        delete document;
        pool.reset();
    }
};

bool StringEquals(const rapidjson::Value& value, const std::string& text) {
    return value.GetStringLength() == text.size() &&
           text.compare(0, text.size(), value.GetString(), value.GetStringLength()) == 0;
}

// The first element, in array order, that is an object whose member key is a
// string equal to wanted; null when none is. An element met before the match
// that cannot be tested this way is invalid JSON for the caller.
rapidjson::Value* FindInstance(rapidjson::Value& array, const std::string& key, const std::string& wanted) {
    for (rapidjson::Value& element : array.GetArray()) {
        if (!element.IsObject()) ThrowInvalidJson();
        auto member = element.FindMember(key);
        if (member == element.MemberEnd() || !member->value.IsString()) ThrowInvalidJson();
        if (StringEquals(member->value, wanted)) return &element;
    }
    return nullptr;
}

// rapidjson's input stream over a file's buffer, read by the buffer's inline
// accessors: the istream wrapper's sentry on every character costs more than
// the parse itself.
class FileBufferStream {
public:
    typedef char Ch;

    explicit FileBufferStream(std::streambuf& buffer) : m_buffer(buffer) {}

    Ch Peek() const { return Char(m_buffer.sgetc()); }
    Ch Take() {
        const Traits::int_type c = m_buffer.sbumpc();
        if (c != Traits::eof()) ++m_taken;
        return Char(c);
    }
    size_t Tell() const { return m_taken; }
    bool AtEnd() const { return m_buffer.sgetc() == Traits::eof(); }

    // Output half of rapidjson's stream concept; a reading parse never uses it.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }

private:
    using Traits = std::streambuf::traits_type;
    static Ch Char(Traits::int_type c) { return c == Traits::eof() ? '\0' : Traits::to_char_type(c); }

    std::streambuf& m_buffer;
    size_t m_taken = 0;
};

} // namespace

JsonDoc::~JsonDoc() {
    // The order in which the references go. The pool itself is freed only
    // after the document, by the document's deleter (see CreateDocument).
    allocator.reset();
    document.reset();
    nodes.clear();
}

rapidjson::Value* JsonDoc::GetJsonValuePtr() {
    rapidjson::Value* current = document.get();
    for (const JsonNode& node : nodes) {
        if (!ConfigStoreDocument::ValueExists(*current, node.name)) {
            CSLogger::Log(0, "Cannot find subobject %s", node.name.c_str());
            throw ConfigStoreException("Subobject does not exists.");
        }
        current = &current->FindMember(node.name)->value;
        if (!current->IsArray()) continue;

        rapidjson::Value* instance = FindInstance(*current, node.instanceKey, node.instanceValue);
        if (!instance) {
            CSLogger::Log(0, "Cannot find subobject instance %s=%s", node.instanceKey.c_str(),
                          node.instanceValue.c_str());
            throw ConfigStoreException("Subobject instance does not exists.");
        }
        current = instance;
    }
    return current;
}

std::shared_ptr<JsonDoc> CreateDocument() {
    auto doc = std::make_shared<JsonDoc>();
    doc->allocator = std::make_shared<Pool>(JSON_POOL_CHUNK_CAPACITY);
    // If creating the control block throws, shared_ptr calls the deleter,
    // so the document does not leak.
    doc->document = std::shared_ptr<rapidjson::Document>(new rapidjson::Document(doc->allocator.get()),
                                                         DeleteDocumentThenPool{doc->allocator});
    return doc;
}

std::shared_ptr<JsonDoc> CreateDocumentFromFile(const std::string& path) {
    // A file that cannot be opened reads as empty and so fails to parse.
    std::ifstream file(path, std::ios::in | std::ios::binary);
    FileBufferStream stream(*file.rdbuf());
    auto doc = CreateDocument();
    // Default flags: one value with optional whitespace around it. The parser
    // takes a NUL byte for the end of input, so check that it really was.
    if (!TarnJson::ParseStream(*doc->document, stream) || !stream.AtEnd())
        ThrowException<InvalidArgumentException>(CS_JSON_FILE_PARSE_FAILED, path.c_str());
    return doc;
}

std::shared_ptr<JsonDoc> CreateDocumentFromString(const std::string& text) {
    auto doc = CreateDocument();
    if (!TarnJson::Parse(*doc->document, text))
        ThrowException<InvalidArgumentException>(CS_JSON_STRING_PARSE_FAILED);
    return doc;
}

} // namespace TarnConfigStore

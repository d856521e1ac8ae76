// The one way this project parses JSON text (included by tarn/rapidjson.h).
//
// rapidjson's parser recurses once per nested array or object, and so do
// most walks over a parsed document; text nested without bound would run
// the stack out. Every parse therefore goes through a stream that ends the
// input as soon as the text opens one array or object more than
// JSON_MAX_DEPTH levels deep: the parser then stops with an error, as it
// does for any truncated text.
#pragma once

#include <cstddef>
#include <string>

namespace TarnJson {

// Real configuration, schemas and tree files nest a dozen levels at most.
constexpr unsigned JSON_MAX_DEPTH = 128;

// Wraps a rapidjson input stream. Brackets inside strings (escapes
// included) do not count.
template <typename Stream>
class DepthLimitedStream {
public:
    typedef typename Stream::Ch Ch;

    explicit DepthLimitedStream(Stream& stream) : stream_(stream) {}

    Ch Peek() const { return tooDeep_ ? Ch() : stream_.Peek(); }
    Ch Take() {
        if (tooDeep_) return Ch();
        Ch c = stream_.Take();
        Track(c);
        return c;
    }
    size_t Tell() const { return stream_.Tell(); }
    bool TooDeep() const { return tooDeep_; }

    // Output half of rapidjson's stream concept; a reading parse never uses it.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    size_t PutEnd(Ch*) { return 0; }

private:
    void Track(Ch c) {
        if (inString_) {
            if (escaped_) escaped_ = false;
            else if (c == '\\') escaped_ = true;
            else if (c == '"') inString_ = false;
        } else if (c == '"') {
            inString_ = true;
        } else if (c == '[' || c == '{') {
            if (++depth_ > JSON_MAX_DEPTH) tooDeep_ = true;
        } else if ((c == ']' || c == '}') && depth_ > 0) {
            --depth_;
        }
    }

    Stream& stream_;
    unsigned depth_ = 0;
    bool inString_ = false;
    bool escaped_ = false;
    bool tooDeep_ = false;
};

// Parses one JSON value, with optional whitespace around it, from a stream.
// A text nested too deep fails with kParseErrorTermination (our document
// handlers never stop a parse, so the code means nothing else) at the
// offset of the bracket that went too deep.
template <typename Document, typename Stream>
rapidjson::ParseResult ParseStream(Document& document, Stream& stream) {
    DepthLimitedStream<Stream> limited(stream);
    document.template ParseStream<rapidjson::kParseDefaultFlags>(limited);
    if (limited.TooDeep()) return rapidjson::ParseResult(rapidjson::kParseErrorTermination, limited.Tell() - 1);
    return rapidjson::ParseResult(document.GetParseError(), document.GetErrorOffset());
}

// Parses the whole text (size bytes) as one JSON value with optional
// whitespace around it. The parser takes a NUL byte for the end of input;
// a NUL before the end of the text fails as text after the document.
template <typename Document>
rapidjson::ParseResult Parse(Document& document, const char* text, size_t size) {
    rapidjson::MemoryStream memory(text, size);
    // Skips a UTF-8 byte-order mark, as rapidjson's own Parse does: an
    // editor may put one before a schema or tree file.
    rapidjson::EncodedInputStream<rapidjson::UTF8<>, rapidjson::MemoryStream> stream(memory);
    rapidjson::ParseResult result = ParseStream(document, stream);
    if (result && memory.Tell() != size)
        return rapidjson::ParseResult(rapidjson::kParseErrorDocumentRootNotSingular, memory.Tell());
    return result;
}

template <typename Document>
rapidjson::ParseResult Parse(Document& document, const std::string& text) {
    return Parse(document, text.data(), text.size());
}

} // namespace TarnJson

// The one way this project parses JSON text (included by tarn/rapidjson.h).
//
// rapidjson's parser recurses once per nested array or object, and so do
// most walks over a parsed document; text nested without bound would run
// the stack out. Every parse therefore stops with an error as soon as the
// text opens one array or object more than JSON_MAX_DEPTH levels deep.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace TarnJson {

// Real configuration, schemas and tree files nest a dozen levels at most.
constexpr unsigned JSON_MAX_DEPTH = 128;

// Passes the parser's events on to a handler (a document), refusing an
// array or object that opens more than JSON_MAX_DEPTH levels deep. The
// parser recurses only after the handler took the opening bracket, so it
// never goes deeper, and it stops at once with kParseErrorTermination.
template <typename Handler>
class DepthLimitedHandler {
public:
    typedef typename Handler::Ch Ch;

    explicit DepthLimitedHandler(Handler& handler) : handler_(handler) {}

    bool Null() { return handler_.Null(); }
    bool Bool(bool b) { return handler_.Bool(b); }
    bool Int(int i) { return handler_.Int(i); }
    bool Uint(unsigned u) { return handler_.Uint(u); }
    bool Int64(int64_t i) { return handler_.Int64(i); }
    bool Uint64(uint64_t u) { return handler_.Uint64(u); }
    bool Double(double d) { return handler_.Double(d); }
    bool RawNumber(const Ch* text, rapidjson::SizeType length, bool copy) {
        return handler_.RawNumber(text, length, copy);
    }
    bool String(const Ch* text, rapidjson::SizeType length, bool copy) { return handler_.String(text, length, copy); }
    bool Key(const Ch* text, rapidjson::SizeType length, bool copy) { return handler_.Key(text, length, copy); }
    bool StartObject() { return Open() && handler_.StartObject(); }
    bool EndObject(rapidjson::SizeType members) {
        --depth_;
        return handler_.EndObject(members);
    }
    bool StartArray() { return Open() && handler_.StartArray(); }
    bool EndArray(rapidjson::SizeType elements) {
        --depth_;
        return handler_.EndArray(elements);
    }

private:
    bool Open() { return ++depth_ <= JSON_MAX_DEPTH; }

    Handler& handler_;
    unsigned depth_ = 0;
};

// Parses one JSON value, with optional whitespace around it, from a stream.
// A text nested too deep fails with kParseErrorTermination (our document
// handlers never stop a parse, so the code means nothing else) at the
// offset of the bracket that went too deep. The document's own parse-error
// record is left alone: the result returned is the parse's outcome.
template <typename Document, typename Stream>
rapidjson::ParseResult ParseStream(Document& document, Stream& stream) {
    rapidjson::ParseResult result;
    auto parse = [&stream, &result](Document& target) {
        DepthLimitedHandler<Document> limited(target);
        rapidjson::GenericReader<typename Document::EncodingType, typename Document::EncodingType> reader;
        result = reader.template Parse<rapidjson::kParseDefaultFlags>(stream, limited);
        return !result.IsError();
    };
    document.Populate(parse);
    if (result.Code() == rapidjson::kParseErrorTermination)
        return rapidjson::ParseResult(rapidjson::kParseErrorTermination, result.Offset() - 1);
    return result;
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

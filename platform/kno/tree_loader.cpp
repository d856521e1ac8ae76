// Reading a whole tree file: its sections, its signature, and the sharing
// of definitions between loads.
#include "kno/tree_loader.h"

#include <mutex>

#include "kno/json_fields.h"
#include "kno/loader_parts.h"
#include "kno/md5.h"
#include "kno/value_codec.h"

namespace TarnPlatform::Kno {
namespace {

using Json::Fail;
using rapidjson::Value;

const char* ParseErrorText(rapidjson::ParseErrorCode code) {
    switch (code) {
    case rapidjson::kParseErrorDocumentEmpty: return "the file is empty";
    case rapidjson::kParseErrorDocumentRootNotSingular: return "text after the document";
    case rapidjson::kParseErrorValueInvalid: return "invalid value";
    case rapidjson::kParseErrorObjectMissName: return "missing name of an object member";
    case rapidjson::kParseErrorObjectMissColon: return "missing colon after a member name";
    case rapidjson::kParseErrorObjectMissCommaOrCurlyBracket: return "missing ',' or '}' in an object";
    case rapidjson::kParseErrorArrayMissCommaOrSquareBracket: return "missing ',' or ']' in a list";
    case rapidjson::kParseErrorStringMissQuotationMark: return "unterminated text";
    case rapidjson::kParseErrorStringEscapeInvalid: return "invalid escape in a text";
    case rapidjson::kParseErrorNumberTooBig: return "number too big";
    case rapidjson::kParseErrorTermination: return "nested too deep";
    default: return "invalid JSON";
    }
}

void LoadSignature(const Value* signature, Tree& tree) {
    tree.buildDate = "unknown";
    if (!signature) return;
    const std::string where = "signature";
    Json::RequireObject(*signature, where);
    Json::CheckMembers(*signature, {"buildDate", "md5"}, where);
    tree.buildDate = Json::String(*signature, "buildDate", where, false, tree.buildDate);
    if (tree.buildDate.size() > 20) Fail(where, "buildDate is longer than 20 characters");
    std::string md5 = Json::String(*signature, "md5", where, false);
    for (char& c : md5) {
        if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    }
    if (!md5.empty() && (md5.size() != 32 || md5.find_first_not_of("0123456789abcdef") != std::string::npos)) {
        Fail(where, "md5 must be 32 hexadecimal digits");
    }
    tree.declaredMd5 = md5;
}

} // namespace

Key KeyFromJson(const Value& value, const std::string& where) {
    if (value.IsUint64()) return Key::Int(value.GetUint64());
    if (value.IsString()) return Key::Str(std::string(value.GetString(), value.GetStringLength()));
    Fail(where, "an instance key is a non-negative integer or a text");
}

KeyTuple KeysFromJson(const Value* value, const std::string& where) {
    KeyTuple keys;
    if (!value) return keys;
    if (!value->IsArray()) Fail(where, "must be a list of keys");
    for (rapidjson::SizeType i = 0; i < value->Size(); ++i) keys.push_back(KeyFromJson((*value)[i], where));
    return keys;
}

rapidjson::Value KeyToJson(const Key& key, rapidjson::Document::AllocatorType& alloc) {
    if (key.isInt) return rapidjson::Value(static_cast<uint64_t>(key.number));
    return rapidjson::Value(key.text.c_str(), static_cast<rapidjson::SizeType>(key.text.size()), alloc);
}

std::string KeysText(const KeyTuple& keys) {
    std::string text = "[";
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i) text += ", ";
        text += keys[i].isInt ? std::to_string(keys[i].number) : "\"" + keys[i].text + "\"";
    }
    return text + "]";
}

std::shared_ptr<const Definitions> InternDefinitions(std::unique_ptr<Definitions> defs) {
    static std::mutex mutex;
    static std::vector<std::shared_ptr<const Definitions>> kept;
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& known : kept) {
        if (known->digest == defs->digest) return known;
    }
    kept.push_back(std::shared_ptr<const Definitions>(std::move(defs)));
    return kept.back();
}

Tree ParseTree(const std::string& text, rapidjson::Document& doc) {
    try {
        if (rapidjson::ParseResult parsed = TarnJson::Parse(doc, text); !parsed) {
            Fail("", std::string("not valid JSON: ") + ParseErrorText(parsed.Code()) + " at byte " +
                         std::to_string(parsed.Offset()));
        }
        if (!doc.IsObject()) Fail("", "the document must be an object");
        Json::CheckMembers(doc, {"format", "description", "signature", "types", "modules", "nodes", "instances", "values"},
                           "");
        if (Json::Unsigned(doc, "format", "", 1000, false, 1) != 1) Fail("format", "only format 1 is known");

        auto defs = std::make_unique<Definitions>();
        LoadTypes(Json::Array(doc, "types", "types"), *defs);
        LoadModules(Json::Array(doc, "modules", "modules"), *defs);
        LoadNodes(Json::Array(doc, "nodes", "nodes"), *defs);
        defs->digest = DefinitionsDigest(*defs);

        Tree tree;
        tree.defs = InternDefinitions(std::move(defs));
        LoadSignature(Json::Find(doc, "signature"), tree);
        tree.state = LoadState(Json::Array(doc, "instances", "instances"), Json::Array(doc, "values", "values"), tree);
        return tree;
    } catch (const LoadError&) {
        throw;
    } catch (const std::exception& e) {
        // rapidjson's own consistency checks: still a malformed file.
        throw LoadError(std::string("malformed tree: ") + e.what());
    }
}

} // namespace TarnPlatform::Kno

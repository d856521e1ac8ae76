#include "fleet_document.h"

#include "tarn/rapidjson_parse.h"

namespace TarnFleet {

namespace {

// Where the first byte that is not UTF-8 sits; npos when all of it is.
// Overlong forms, surrogates and code points past U+10FFFF are refused too.
size_t InvalidUtf8At(const std::string& text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        size_t len;
        unsigned lo = 0x80, hi = 0xbf;  // allowed range of the second byte
        if (c < 0x80) len = 1;
        else if (c >= 0xc2 && c <= 0xdf) len = 2;
        else if (c >= 0xe0 && c <= 0xef) {
            len = 3;
            if (c == 0xe0) lo = 0xa0;
            if (c == 0xed) hi = 0x9f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            len = 4;
            if (c == 0xf0) lo = 0x90;
            if (c == 0xf4) hi = 0x8f;
        } else return i;
        if (i + len > n) return i;
        for (size_t k = 1; k < len; ++k) {
            const unsigned char b = s[i + k];
            if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xbf)) return i;
        }
        i += len;
    }
    return std::string::npos;
}

std::string Escape(const std::string& token) {
    std::string out;
    for (char c : token) {
        if (c == '~') out += "~0";
        else if (c == '/') out += "~1";
        else out += c;
    }
    return out;
}

std::string Name(const rapidjson::Value& v) { return std::string(v.GetString(), v.GetStringLength()); }

// The profile of a document text, or an error in errors.
const rapidjson::Value* Profile(rapidjson::Document& doc, const std::string& text, const char* what,
                                std::vector<DocumentError>& errors) {
    if (const std::string p = DocumentProblem(text, what); !p.empty()) {
        errors.push_back({"", "", p});
        return nullptr;
    }
    TarnJson::Parse(doc, text);  // DocumentProblem parsed it already
    const auto profile = doc.FindMember("profile");
    if (profile == doc.MemberEnd()) {
        errors.push_back({"", "", std::string(what) + " has no \"profile\" member"});
        return nullptr;
    }
    if (!profile->value.IsObject()) {
        errors.push_back({"", "/profile", std::string(what) + ": \"profile\" is not an object"});
        return nullptr;
    }
    // Components and groups must be objects for an object to be named at all.
    bool ok = true;
    for (const auto& c : profile->value.GetObject()) {
        const std::string cp = "/profile/" + Escape(Name(c.name));
        if (!c.value.IsObject()) {
            errors.push_back({Name(c.name), cp, std::string(what) + ": a component is not an object"});
            ok = false;
            continue;
        }
        for (const auto& g : c.value.GetObject())
            if (!g.value.IsObject()) {
                errors.push_back({Name(c.name) + "/" + Name(g.name), cp + "/" + Escape(Name(g.name)),
                                  std::string(what) + ": a group is not an object"});
                ok = false;
            }
    }
    return ok ? &profile->value : nullptr;
}

rapidjson::Value& Member(rapidjson::Value& object, const rapidjson::Value& name,
                         rapidjson::Document::AllocatorType& a) {
    auto m = object.FindMember(name);
    if (m != object.MemberEnd()) return m->value;
    object.AddMember(rapidjson::Value(name, a), rapidjson::Value(rapidjson::kObjectType), a);
    return object.FindMember(name)->value;
}

} // namespace

std::string DocumentProblem(const std::string& text, const std::string& what) {
    if (text.size() > kMaxDocumentBytes)
        return what + " is " + std::to_string(text.size()) + " bytes, more than the " +
               std::to_string(kMaxDocumentBytes) + " allowed";
    if (const size_t at = InvalidUtf8At(text); at != std::string::npos)
        return what + " is not UTF-8 (byte " + std::to_string(at) + ")";
    rapidjson::Document doc;
    const rapidjson::ParseResult r = TarnJson::Parse(doc, text);
    if (r.Code() == rapidjson::kParseErrorTermination)
        return what + " nests deeper than " + std::to_string(TarnJson::JSON_MAX_DEPTH) + " levels (offset " +
               std::to_string(r.Offset()) + ")";
    if (r.IsError())
        return what + " is not JSON: " + rapidjson::GetParseError_En(r.Code()) + " (offset " +
               std::to_string(r.Offset()) + ")";
    if (!doc.IsObject()) return what + " is not a JSON object";
    return "";
}

std::optional<rapidjson::Document> MergeHostDocument(const std::optional<std::string>& base,
                                                     const std::optional<std::string>& overlay,
                                                     std::vector<DocumentError>& errors) {
    rapidjson::Document result;
    const size_t before = errors.size();
    if (base) {
        rapidjson::Document parsed;
        if (Profile(parsed, *base, "the fleet document", errors)) result.Swap(parsed);
    } else {
        result.SetObject();
        result.AddMember("profile", rapidjson::Value(rapidjson::kObjectType), result.GetAllocator());
    }
    rapidjson::Document over;
    const rapidjson::Value* overProfile = overlay ? Profile(over, *overlay, "the host's overlay", errors) : nullptr;
    if (errors.size() != before) return std::nullopt;
    if (overProfile) {
        auto& a = result.GetAllocator();
        rapidjson::Value& profile = result["profile"];
        for (const auto& c : overProfile->GetObject())
            for (const auto& g : c.value.GetObject()) {
                rapidjson::Value& group = Member(Member(profile, c.name, a), g.name, a);
                for (const auto& k : g.value.GetObject()) {
                    auto existing = group.FindMember(k.name);
                    rapidjson::Value copy(k.value, a);
                    if (existing != group.MemberEnd()) existing->value = copy;
                    else group.AddMember(rapidjson::Value(k.name, a), copy, a);
                }
            }
    }
    return result;
}

} // namespace TarnFleet

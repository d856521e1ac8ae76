// Tab completion: the next child name or instance key that extends what
// the user typed, returned as the typed text with that component completed.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/knosh/knoshInternal.h"

namespace {

const char* const kLabel = "KNOSH_CommandGenerator";

bool StartsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

// A name as the command line and the path parser take it back whole: in
// double quotes when it holds a "/" or whitespace anywhere.
std::string Quoted(const char* name) {
    for (const char* p = name; *p; ++p)
        if (*p == '/' || isspace(static_cast<unsigned char>(*p))) return std::string("\"") + name + "\"";
    return name;
}

// Where the component after `index` components starts in text, split as
// KNOSHPath_Form splits it (after the leading "/" and the root text it
// skips).
size_t ComponentStart(const std::string& text, size_t index) {
    size_t pos = 0;
    if (!text.empty() && text[0] == '/') {
        pos = 1;
        if (text.size() - 1 > strlen(knoshRootNodeStr)) pos += strlen(knoshRootNodeStr);
    }
    for (; index > 0 && pos < text.size(); --index) {
        size_t stop = pos;
        if (text[pos] == '"') {
            size_t close = text.find('"', pos + 1);
            if (close == std::string::npos) return text.size();
            stop = close + 1;  // text after the closing quote joins the component
            if (stop < text.size() && text[stop] == '/') {
                pos = stop + 1;
                continue;
            }
        }
        stop = text.find('/', stop);
        pos = stop == std::string::npos ? text.size() : stop + 1;
    }
    return pos;
}

// The typed text the candidate follows: all of it when it resolved whole,
// else the part before the component that did not resolve. Resolution ends
// each component it splits off with a NUL in its copy, so the NULs before
// that component count the components before it.
std::string TypedHead(const std::string& text, const std::string& copy, const char* rest) {
    if (!rest) {
        // A quote left open runs to the end of the text; closing it there
        // keeps the name and lets "/" follow.
        std::string head = std::count(text.begin(), text.end(), '"') % 2 ? text + "\"" : text;
        return head.empty() || head.back() == '/' ? head : head + "/";
    }
    size_t index = static_cast<size_t>(std::count(copy.data(), rest, '\0'));
    return text.substr(0, ComponentStart(text, index));
}

// The next instance key of e's node from *state on that begins with prefix.
bool NextInstance(const KNOSHPathElement* e, const char* prefix, int* state, std::string* candidate) {
    Knosh::ParamListPtr keys(KNOSHPath_GetInstArgs(e));
    KNOParamList* raw = nullptr;
    if (KNOSH_GetInstanceNodes(e->nodeInfo, keys.get(), &raw) != KES_OK) return false;
    Knosh::ParamListPtr list(raw);
    int count = static_cast<int>(KNO_ParamListUsedCount(list.get()));
    while (*state >= 0 && *state < count) {
        int index = (*state)++;
        const KNOParam* entry = KNO_ParamListGetParam(list.get(), static_cast<uint32_t>(index));
        if (!entry) {
            KNOSHError("failed to get param %d of %d\n", index, count);
            return false;
        }
        char number[64];
        const char* text = number;
        if (entry->type == KNO_PARAM_INT)
            snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(KNO_ParamGetInt(entry)));
        else
            text = KNO_ParamGetString(entry);
        if (text && StartsWith(text, prefix)) {
            *candidate = Quoted(text);
            if (!e->nodeInfo->isLeaf) *candidate += "/";  // an instance of a branch holds children
            return true;
        }
    }
    return false;
}

// The next child of e's node after the first *state that begins with
// prefix, with "/" for a branch.
bool NextChild(const KNOSHPathElement* e, const char* prefix, int* state, std::string* candidate) {
    uint32_t module = e->moduleID;
    int index = 0;
    for (uint32_t id = KNO_GetChildNodeID(e->nodeInfo, module); id != KNO_NO_NODE; ++index) {
        KNONodeInfo* raw = nullptr;
        if (KNO_NodeInfoLookup(id, module, &raw) != KES_OK) return false;
        Knosh::NodeInfoPtr child(raw);
        id = child->siblingID;
        if (index < *state) continue;
        ++*state;
        if (StartsWith(child->name, prefix) && KNO_NodeExists(child->nodeID, module)) {
            *candidate = Quoted(child->name);
            if (!child->isLeaf) *candidate += "/";
            return true;
        }
    }
    return false;
}

} // namespace

char* KNOSH_CommandGenerator(const char* text, int* state) {
    int firstCall = 0;
    if (!state) state = &firstCall;
    std::string copy(text ? text : "");  // resolution writes into its text
    KNOSHPathElement* raw = nullptr;
    char* rest = nullptr;
    if (KNOSHPath_Form(knoshCwd, copy.data(), 1, &raw, &rest) != KES_OK) return nullptr;
    Knosh::PathPtr path(raw);
    const KNOSHPathElement* leaf = KNOSHPath_GetLeafElement(path.get());
    const char* prefix = rest ? rest : "";

    std::string candidate;
    bool found = leaf->nodeInfo->isInstance && !leaf->hasParam ? NextInstance(leaf, prefix, state, &candidate)
                                                               : NextChild(leaf, prefix, state, &candidate);
    if (!found) return nullptr;

    Knosh::CharPtr completion(static_cast<char*>(malloc(Knosh::kPathBufferSize)));
    if (!completion) {
        KNOSHDiag(0, kLabel, "Out of memory during path completion");
        return nullptr;
    }
    // The user's own text stays as typed (relative stays relative).
    std::string whole = TypedHead(text ? text : "", copy, rest) + candidate;
    snprintf(completion.get(), Knosh::kPathBufferSize, "%s", whole.c_str());
    KNOSHDiag(10, kLabel, "completion='%s'", completion.get());
    return completion.release();
}

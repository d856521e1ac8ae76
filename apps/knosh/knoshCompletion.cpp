// Tab completion: the next child name or instance key that extends what
// the user typed, returned as a whole path.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/knosh/knoshInternal.h"

namespace {

const char* const kLabel = "KNOSH_CommandGenerator";

bool StartsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

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
            *candidate = text;
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
            *candidate = child->name;
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
    KNOSHPath_GetStr(path.get(), completion.get(), Knosh::kPathBufferSize, 1);
    KNOSHPath_CatComponent(completion.get(), Knosh::kPathBufferSize, candidate.c_str(), 1);
    KNOSHDiag(10, kLabel, "completion='%s'", completion.get());
    return completion.release();
}

// Instance elements: a path component taken as the key of one instance of
// the working element's node, checked against the node's instance list or
// taken as typed.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "apps/knosh/knoshInternal.h"

namespace {

// A key being built; its text is released on every exit.
struct TempKey {
    KNOParam param{};
    TempKey() = default;
    TempKey(const TempKey&) = delete;
    TempKey& operator=(const TempKey&) = delete;
    ~TempKey() { KNO_ParamFreeString(&param); }
};

// The key of the first entry of the node's instance list that the
// component names; false when none does.
bool FindMatchingInstanceParam(const KNOSHPathElement* w, const char* component, TempKey* key) {
    static const char* const kLabel = "KNOSHFindMatchingInstanceParam";
    Knosh::ParamListPtr keys(KNOSHPath_GetInstArgs(w));
    KNOParamList* raw = nullptr;
    if (KNOSH_GetInstanceNodes(w->nodeInfo, keys.get(), &raw) != KES_OK) return false;
    Knosh::ParamListPtr list(raw);
    keys.reset();

    uint64_t number = 0;
    bool numeric = Knosh::ReadWholeNumber(component, &number);
    uint32_t count = KNO_ParamListUsedCount(list.get());
    for (uint32_t i = 0; i < count; ++i) {
        const KNOParam* entry = KNO_ParamListGetParam(list.get(), i);
        if (!entry) {
            KNOSHDiag(0, kLabel, "failed to get param %d of %d", static_cast<int>(i), static_cast<int>(count));
            return false;
        }
        if (entry->type == KNO_PARAM_INT) {
            if (!numeric) return false;  // an integer list cannot hold a name
            if (KNO_ParamGetInt(entry) != number) continue;
            KNO_ParamSetInt(&key->param, number);
            return true;
        }
        const char* text = KNO_ParamGetString(entry);
        if (text && strcmp(text, component) == 0) return KNO_ParamSetString(&key->param, text) == KES_OK;
    }
    return false;
}

// The key as typed: a whole number for an integer-keyed node, else the text.
bool KeyAsTyped(const KNONodeInfo* node, const char* component, TempKey* key) {
    if (node->isIntegerKey) {
        uint64_t number = 0;
        if (!Knosh::ReadWholeNumber(component, &number)) return false;
        KNO_ParamSetInt(&key->param, number);
        return true;
    }
    return KNO_ParamSetString(&key->param, component) == KES_OK;
}

} // namespace

namespace Knosh {

bool ReadWholeNumber(const char* text, uint64_t* value) {
    // strtoull alone would take blanks, a sign and overflow silently.
    if (!text || !isdigit(static_cast<unsigned char>(*text))) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long n = strtoull(text, &end, 0);
    if (errno == ERANGE || *end != '\0') return false;
    *value = n;
    return true;
}

PathPtr MakeInstanceElement(const KNOSHPathElement* w, const char* component, uint8_t checkInstances) {
    TempKey key;
    bool found = checkInstances == 1 && !options.noInstanceCheck
                     ? FindMatchingInstanceParam(w, component, &key)
                     : KeyAsTyped(w->nodeInfo, component, &key);
    if (!found) return nullptr;

    PathPtr e = NewElement();
    if (!e || KNO_NodeInfoLookup(w->nodeInfo->nodeID, w->moduleID, &e->nodeInfo) != KES_OK) return nullptr;
    e->hasParam = 1;
    e->param = key.param;  // by value; a text gets its own copy below
    if (key.param.type == KNO_PARAM_STRING &&
        KNO_ParamSetString(&e->param, KNO_ParamGetString(&key.param)) != KES_OK) {
        e->param = KNOParam{};  // still shares the temporary's text
        return nullptr;
    }

    if (w->moduleID != 0) {
        e->moduleID = w->moduleID;
        return e;
    }
    uint32_t module = KNO_GetModuleID(e->nodeInfo, &e->param);
    KNOSHDiag(10, "KNOSHExtractModuleID", "Returning moduleID %d (is mod branch = %d)", static_cast<int>(module),
              e->nodeInfo->isModuleBranch);
    if (module == KNO_NO_MODULE) return nullptr;
    e->moduleID = module;
    return e;
}

} // namespace Knosh

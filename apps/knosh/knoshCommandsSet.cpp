// set: write a node's value. The node chooses the input form: hexadecimal
// bytes for a data node, a structure text for a node with a set input
// size, a parameter list otherwise.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "apps/knosh/knoshInternal.h"
#include "apps/knosh/knoshNodeArg.h"

namespace {

const char* const kLabel = "KNOSHCmdSet";

const char* Text(KES_ReturnStatus status) { return KES_ReturnStatusToString(status); }

KES_ReturnStatus SetData(const KNOSHPathElement* leaf, const KNOParamList* keys, int argc, char** argv) {
    const uint32_t node = leaf->nodeInfo->nodeID;
    KES_ReturnStatus status;
    Knosh::DataPtr input = Knosh::CreateInputData(argc, argv, &status);
    if (!input) {
        KNOSHDiag(0, kLabel, "Failed to create input data: %s", Text(status));
        return status;
    }
    uint32_t length = 0;
    status = KNO_GetDataLength(node, keys, &length);
    if (status == KES_LENGTH_FOLLOWS_INPUT) {
        length = input->length;
    } else if (status != KES_OK) {
        KNOSHDiag(0, kLabel, "Failed to get output data length: %s", Text(status));
        return status;
    }
    Knosh::DataPtr output(KNOData_Create(length, nullptr, 0));
    if (!output) {
        KNOSHDiag(0, kLabel, "failed to alloc output data object");
        return KES_NO_MEMORY;
    }
    status = KNO_SetData(node, keys, input.get(), output.get());
    if (status != KES_OK) {
        KNOSHDiag(0, kLabel, "SetData failed: %s", Text(status));
        return status;
    }
    if (output->length) Knosh::PrintData(output.get());
    return KES_OK;
}

// One parameter of the parameter form; false (reported) for one that is
// refused.
bool AddParam(KNOParamList* list, const char* arg) {
    KES_ReturnStatus status;
    char* end = nullptr;
    errno = 0;
    unsigned long long number = *arg ? strtoull(arg, &end, 0) : 0;
    size_t length = strlen(arg);
    if (!*arg) {
        status = KNO_ParamListAddString(list, "");
    } else if (*end == '\0') {
        if (errno == ERANGE) {
            KNOSHError("invalid number '%s' given: %s.\n", arg, strerror(errno));
            return false;
        }
        status = KNO_ParamListAddInt(list, number);
    } else if (arg[0] == '"') {
        if (length < 2 || arg[length - 1] != '"') {
            KNOSHError("unmatched quote: '%s'\n", arg);
            return false;
        }
        status = KNO_ParamListAddString(list, std::string(arg + 1, length - 2).c_str());
    } else {
        status = KNO_ParamListAddString(list, arg);
    }
    if (status != KES_OK) KNOSHError("failed to add param to list\n");
    return status == KES_OK;
}

// The parameter list of the arguments; none for no arguments. A refused
// parameter ends the command: setting without it could do what nobody
// asked for (a store with fewer values, a reset).
KES_ReturnStatus MakeParams(int argc, char** argv, Knosh::ParamListPtr* params) {
    if (argc == 0) return KES_OK;
    params->reset(KNO_ParamListCreate(0, static_cast<uint32_t>(argc)));
    if (!*params) {
        KNOSHError("failed to create params list\n");
        return KES_NO_MEMORY;
    }
    for (int i = 0; i < argc; ++i)
        if (!AddParam(params->get(), argv[i])) return KES_BAD_PARAM;
    return KES_OK;
}

KES_ReturnStatus MakeStructInput(const KNOSHPathElement* leaf, int argc, char** argv, Knosh::BytesPtr* input) {
    if (argc == 0) {
        KNOSHDiag(0, "KNOSHCreateInputString", "Failed to create input string %s", Text(KES_BAD_PARAM));
        return KES_BAD_PARAM;
    }
    std::string text;
    try {
        text = argv[0];
        for (int i = 1; i < argc; ++i) (text += ' ') += argv[i];
    } catch (const std::bad_alloc&) {
        KNOSHDiag(0, "KNOSHCreateInputString", "failed to alloc inputString buffer");
        return KES_NO_MEMORY;
    }
    const KNOType* raw = nullptr;
    KES_ReturnStatus status = KNO_LookupInputType(leaf->nodeInfo->nodeID, leaf->moduleID, &raw);
    Knosh::TypePtr type(raw);
    if (status == KES_OK && !type) status = KES_NOT_FOUND;  // a node without an input type
    if (status != KES_OK) {
        KNOSHDiag(0, kLabel, "Couldn't lookup structure type information for node %d: %s",
                  static_cast<int>(leaf->nodeInfo->nodeID), Text(status));
        return status;
    }
    const uint32_t size = leaf->nodeInfo->setInputSize;
    *input = Knosh::NewBytes(size);
    if (!*input) {
        KNOSHDiag(0, kLabel, "failed to alloc input buffer.");
        return KES_NO_MEMORY;
    }
    status = Knosh::CreateStructInput(text.c_str(), text.size(), type.get(), input->get(), size);
    if (status != KES_OK) KNOSHDiag(0, kLabel, "CreateStructInput failed: %s", Text(status));
    return status;
}

} // namespace

KES_ReturnStatus KNOSHCmdSet(KNOSHArgs* args) {
    if (args->argc < 2) return KES_INCOMPLETE;
    Knosh::NodeArg arg;
    KES_ReturnStatus status = Knosh::ResolveNodeArg(args->argv[1], &arg);
    if (status != KES_OK) return status;
    const KNOSHPathElement* leaf = arg.leaf;
    const KNOParamList* keys = arg.keys.get();
    const KNONodeInfo* node = leaf->nodeInfo;
    const int valueCount = args->argc - 2;
    char** values = args->argv + 2;
    if (node->isDataNode) return SetData(leaf, keys, valueCount, values);

    const uint32_t outputSize = node->setOutputSize;
    Knosh::BytesPtr output;
    if (outputSize && !(output = Knosh::NewBytes(outputSize))) {
        KNOSHDiag(0, kLabel, "failed to alloc output buffer.");
        return KES_NO_MEMORY;
    }
    if (node->setInputSize == 0) {
        Knosh::ParamListPtr params;
        status = MakeParams(valueCount, values, &params);
        if (status != KES_OK) return status;
        status = KNO_Set(node->nodeID, keys, params.get(), output.get(), outputSize);
        if (status != KES_OK) KNOSHDiag(0, kLabel, "Set failed: %s", Text(status));
    } else {
        Knosh::BytesPtr input;
        status = MakeStructInput(leaf, valueCount, values, &input);
        if (status != KES_OK) return status;
        status = KNO_SetStruct(node->nodeID, keys, input.get(), node->setInputSize, output.get(), outputSize);
        if (status != KES_OK) KNOSHDiag(0, kLabel, "SetStruct failed: %s", Text(status));
    }
    if (status != KES_OK || !outputSize) return status;
    return Knosh::PrintOutput(kLabel, leaf, output.get(), outputSize, KNO_LookupOutputTypeOfSet);
}

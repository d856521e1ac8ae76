#include "remote_values.h"

#include <cstdio>
#include <memory>

#include "remote_reply.h"
#include "tarn/knosh.h"

namespace KnoshFrontend {

namespace {

// What the daemon's type listing says a node holds; neither: unknown, its
// bytes are printed as they come.
struct Kind {
    bool data = false;              // a data node: a hex dump
    const KNOType* type = nullptr;  // a value of this type
};

const KNOType* LocalType(const std::string& name) {
    for (uint32_t i = 0; knoTypeDefsLookupTab && i < knoMaxTypeDefs; ++i)
        if (knoTypeDefsLookupTab[i].name && name == knoTypeDefsLookupTab[i].name) return &knoTypeDefsLookupTab[i];
    return nullptr;
}

// The daemon resolves the path (its working path, root and modules) and
// names the leaf's type, empty for a data node; a reply of another shape (an
// error, a listing) leaves the kind unknown. false: the connection is lost.
bool AskKind(Connection& connection, const std::string& path, Kind& kind) {
    const std::string request = "typels " + path;
    std::string reply;
    if (request.size() > kRequestSize) return true;
    if (!connection.Exchange(request, reply)) return false;
    if (reply.empty() || reply.find('\n') != reply.size() - 1 || !DecodeReply(reply).errors.empty()) return true;
    reply.pop_back();
    kind.data = reply.empty();
    kind.type = kind.data ? nullptr : LocalType(reply);
    return true;
}

const KNOSHOutputTable* Style() {
    return options.rawOutput ? knoshRawOutputPtr : options.pythonOutput ? knoshPythonOutputPtr : knoshDefaultOutputPtr;
}

void PrintDump(const std::string& bytes) {
    const auto length = static_cast<uint32_t>(bytes.size());
    std::unique_ptr<KNOData, decltype(&KNOData_Destroy)> data(KNOData_Create(length, bytes.data(), length),
                                                              &KNOData_Destroy);
    if (data) KNOSHOutput_PrintData(data.get(), Style());
}

// Prints one reply of raw bytes as the local shell prints the value, or its
// error; returns the status (0 for a value).
int PrintRaw(const std::string& reply, const Kind& kind) {
    const Reply decoded = DecodeReply(reply);
    // A value is the whole reply: only a reply of nothing but errors failed.
    if (decoded.output.empty() && !decoded.errors.empty()) return PrintErrors(decoded);
    if (kind.data) {
        PrintDump(reply);
    } else if (kind.type) {
        KNOSHOutput_PrintBuf(reply.data(), kind.type, static_cast<uint32_t>(reply.size()), 0, Style(), 0);
        KNOSHPrintf("\n");
    } else {
        fwrite(reply.data(), 1, reply.size(), stdout);
    }
    fflush(stdout);
    return 0;
}

} // namespace

bool RunValueCommand(Connection& connection, const std::string& line, const std::vector<std::string>& words,
                     int& status) {
    if (words.size() < 2) return false;
    const std::string& command = words[0];
    status = -1;  // until a reply comes
    Kind kind;
    if (command == "set") {
        if (!AskKind(connection, words[1], kind)) return true;
        if (!kind.data) return false;  // the daemon prints what other nodes give back
        std::string reply;
        if (connection.Exchange(line, reply)) status = reply.empty() ? 0 : PrintRaw(reply, kind);
        return true;
    }
    if (command != "get" && command != "cat") return false;
    for (size_t i = 1; i < words.size(); ++i) {
        std::string reply;
        kind = Kind();
        if (!AskKind(connection, words[i], kind) || !connection.Exchange(command + " " + words[i], reply)) return true;
        status = PrintRaw(reply, kind);
        if (status) break;
    }
    return true;
}

} // namespace KnoshFrontend

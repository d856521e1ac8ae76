// desired validate|set|show: checking a desired document, storing it for the
// next boot, and showing what is stored.
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "json_output.h"
#include "tarn/boot_state.h"
#include "tarn/db_connection.h"
#include "tarn/desired_config.h"
#include "tarn/json_doc.h"
#include "tarn/platform/capture.h"
#include "tarn/rapidjson.h"

namespace TarnCli {
namespace {

int DesiredUsage() { return Usage(FindCommand("desired")); }

// Prints every error of the document, one per line, and their number on
// standard error with the consequence; returns whether there was any.
bool PrintErrors(const rapidjson::Document& document, const std::string& file, const char* consequence) {
    const auto errors =
        TarnConfigStore::ListDesiredDocumentErrors(document, TarnSchemaStore::SchemaStore::GetCache());
    for (const auto& e : errors)
        std::printf("object %s, instance %s, at '%s': %s\n", e.object.empty() ? "-" : e.object.c_str(),
                    e.instance.empty() ? "-" : e.instance.c_str(), e.pointer.c_str(), e.reason.c_str());
    std::fflush(stdout);  // the errors before the summary
    if (!errors.empty())
        std::fprintf(stderr, "tarn-configstore: %zu validation error%s in %s%s\n", errors.size(),
                     errors.size() == 1 ? "" : "s", file.c_str(), consequence);
    return !errors.empty();
}

int Validate(const std::string& file) {
    auto doc = TarnConfigStore::CreateDocumentFromFile(file);
    if (PrintErrors(*doc->document, file, "")) return 1;
    std::printf("%s: valid\n", file.c_str());
    return 0;
}

int Set(const std::string& file, bool smartnic) {
    auto doc = TarnConfigStore::CreateDocumentFromFile(file);
    auto lock = LockStore();
    if (smartnic) {
        // The operation validates each object itself and logs each failing one.
        TarnPlatform::Capture capture;
        try {
            TarnConfigStore::SetDesiredSmartnicConfiguration(*doc->document);
        } catch (const std::exception&) {
            for (const TarnPlatform::CapturedLine& line : capture.Logs())
                if (line.priority == 0) std::fprintf(stderr, "tarn-configstore: %s\n", line.text.c_str());
            throw;
        }
    } else {
        if (PrintErrors(*doc->document, file, "; nothing stored")) return 1;
        TarnConfigStore::SetDesiredUserConfig(*doc->document);
    }
    // The boot restores the store from its backup: true only once a backup holds it.
    std::printf("stored for the next boot (boot mode %d); that boot restores the store from its backup, so run "
                "'tarn-configstore backup' before it, or it starts without this change\n",
                smartnic ? 3 : 1);
    return 0;
}

// A stored row: component, group, name, identifier, version, boot action,
// then the user, vital and cached layers (NULL as absent).
using Row = std::vector<std::optional<std::string>>;
constexpr const char* kColumnNames[] = {"component", "group", "name", "identifier", "version", "bootAction",
                                        "user", "vital", "cached"};
constexpr int kLayerColumn = 6;

int CollectRow(void* ctx, int n, char** values, char**) {
    auto* rows = static_cast<std::vector<Row>*>(ctx);
    rows->emplace_back();
    for (int i = 0; i < n; ++i) rows->back().push_back(values[i] ? std::optional<std::string>(values[i]) : std::nullopt);
    return 0;
}

void PrintJson(const std::vector<Row>& rows) {
    JsonOutput w;
    w.StartArray();
    for (const Row& r : rows) {
        w.StartObject();
        for (int i = 0; i < static_cast<int>(r.size()); ++i) {
            w.Key(kColumnNames[i]);
            if (i < kLayerColumn && r[i]) w.String(*r[i]);
            else w.Layer(r[i]);
        }
        w.EndObject();
    }
    w.EndArray();
    w.Print();
}

void PrintTable(const std::vector<Row>& rows) {
    if (rows.empty()) std::printf("(no desired configuration)\n");
    for (const Row& r : rows) {
        std::string key = r[0].value_or("") + "/" + r[1].value_or("") + "/" + r[2].value_or("");
        if (!r[3].value_or("").empty()) key += "[" + *r[3] + "]";
        std::printf("%s  %s  version %s\n", key.c_str(), r[5].value_or("").c_str(), r[4].value_or("").c_str());
        for (int i = kLayerColumn; i < static_cast<int>(r.size()); ++i)
            if (r[i] && !r[i]->empty()) std::printf("  %-9s %s\n", kColumnNames[i], r[i]->c_str());
    }
}

int Show(bool json) {
    auto conn = TarnConfigStore::GetDBConnection(DBStore::CONFIG_STORE, true);
    std::vector<Row> rows;
    if (DBStore::ExecuteV2(conn,
                           "SELECT Component, ConfigGroup, Name, Identifier, Version, BootAction, Value, VitalValue, "
                           "CachedValue FROM DesiredUserConfig ORDER BY Component, ConfigGroup, Name, Identifier;",
                           &CollectRow, &rows, 3000) != 0) {
        std::fprintf(stderr, "tarn-configstore: cannot read the desired configuration\n");
        return 1;
    }
    if (json) {
        PrintJson(rows);
    } else {
        PrintTable(rows);
        std::printf("next boot mode: %d\n", static_cast<int>(TarnConfigStore::GetBootMode()));
    }
    return 0;
}

} // namespace

int RunDesired(const Args& args) {
    Args rest = args;
    const bool json = TakeOption(rest, "--json");
    if (rest == Args{"show"}) return Show(json);
    if (json) return DesiredUsage();
    if (!rest.empty() && rest[0] == "export") return ExportDesired(Args(rest.begin() + 1, rest.end()));
    const Operands ops = SplitOperands(rest);
    const Args& w = ops.words;
    if (w.empty()) return DesiredUsage();
    if (w[0] == "validate" && w.size() == 2 && !ops.sawOption) return Validate(w[1]);
    if (w[0] == "set" && w.size() == 2 && !ops.sawOption) return Set(w[1], false);
    if (w[0] == "set" && w.size() == 3 && w[1] == "--smartnic") return Set(w[2], true);
    return DesiredUsage();
}

} // namespace TarnCli

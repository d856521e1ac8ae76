// Catches the store's exceptions by type across the library boundary.
#include <cstdio>
#include <string>

#include <tarn/configstore.h>

int main() {
    int failures = 0;
    try {
        TarnConfigStore::CreateDocumentFromString("{ not json");
        ++failures;
    } catch (const TarnConfigStore::InvalidArgumentException& e) {
        if (e.GetErrorCode() != 1080) ++failures;
    }
    try {
        TarnConfigStore::ThrowException<TarnConfigStore::ConfigStoreException>(TarnConfigStore::CS_INVALID_KEY_VALUE,
                                                                                "BOOT_MODE");
    } catch (const HostCtl::Lib::HostCtlException& e) {
        if (std::string(e.what()) != "Invalid value for key BOOT_MODE") ++failures;
    }
    try {
        auto doc = TarnConfigStore::CreateDocumentFromString("{\"a\": 1}");
        (void)(*doc->document)["missing"];
        ++failures;
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        if (std::string(e.what()) != "Invalid JSON") ++failures;
    }
    std::printf("consumer: %s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}

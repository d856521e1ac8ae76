// desired export: the user configuration as a desired document, printed or
// written to a file that is replaced whole.
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "commands.h"
#include "json_output.h"
#include "tarn/desired_config.h"
#include "tarn/durable_file.h"

namespace TarnCli {
namespace {

// The file replaced whole, so that a reader finds the old file or the new
// one; empty, or why not.
std::string ReplaceFile(const std::string& path, const std::string& text) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return path + " is a directory";
    return TarnConfigStore::DurableWrite(text, path + ".tmp-" + std::to_string(getpid()), path);
}

} // namespace

int ExportDesired(const std::string& file) {
    const TarnConfigStore::DesiredExport exported = TarnConfigStore::ExportDesiredDocument();
    for (const std::string& value : exported.notRestated)
        std::fprintf(stderr, "tarn-configstore: %s; a desired document cannot restate it, so a boot that applies "
                     "this one may remove it\n", value.c_str());
    JsonOutput w;
    exported.document.Accept(w);
    if (file.empty()) {
        w.Print();
        return 0;
    }
    const std::string reason = ReplaceFile(file, w.Text() + "\n");
    if (reason.empty()) return 0;
    std::fprintf(stderr, "tarn-configstore: %s; nothing written\n", reason.c_str());
    return 1;
}

} // namespace TarnCli

// INFO and DUMP print a table file's fields or records (the storage engine's inspection);
// PACK compacts a table.
#include <iostream>

#include "dbengine/storage/header_report.h"
#include "dbengine/storage/inspect.h"
#include "dbengine/storage/restructure.h"
#include "shell/modes.h"

namespace orn {

namespace {

int Inspect(const char* word, const TCommandLine& line) {
    if (std::string(word) == "INFO" && line.Arg(2) == "--header") {
        const std::string& file = line.Arg(3);
        if (file.empty() || line.Count() > 4) {
            std::cerr << "orn: INFO --header needs one table file\nUsage: orn INFO --header "
                         "<table file>\n";
            return kExitUsage;
        }
        return db::runHeaderReport(file, std::cout, std::cerr) == 0 ? kExitOk : kExitFailed;
    }
    const std::string& file = line.Arg(2);
    if (file.empty() || line.Count() > 3) {
        std::cerr << "orn: " << word << " needs one table file\nUsage: orn " << word
                  << " <table file>\n";
        return kExitUsage;
    }
    return db::runInspect(word, file, std::cout, std::cerr) == 0 ? kExitOk : kExitFailed;
}

}  // namespace

int InfoTableMode(const TCommandLine& line) {
    return Inspect("INFO", line);
}

int DumpTableMode(const TCommandLine& line) {
    return Inspect("DUMP", line);
}

int PackTableMode(const TCommandLine& line) {
    const std::string& file = line.Arg(2);
    if (file.empty() || line.Count() > 3) {
        std::cerr << "orn: PACK needs one table file\nUsage: orn PACK <table file>\n";
        return kExitUsage;
    }
    try {
        for (const auto& notice : db::packTable(file)) {
            std::cerr << "orn: warning: " << notice << '\n';
        }
        return kExitOk;
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return kExitFailed;
    }
}

}  // namespace orn

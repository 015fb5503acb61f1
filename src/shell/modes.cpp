#include "shell/modes.h"

#include <cstdlib>
#include <iostream>

#include "dbengine/sql/help_text.h"
#include "errors/headless.h"
#include "version.h"
#include "workbench/reporterror.h"

namespace orn {

const std::vector<TShellMode>& ShellModes() {
    static const std::vector<TShellMode> modes = {
        {"RUN", "<file.orn> [Name=Value ...]",
         "run a program without windows, parameters set to the given values", RunProgramMode},
        {"EXEC", "<statement> | file:<path>",
         "execute one SQL statement, or each line of a file up to the first empty line", ExecMode},
        {"INDEX", "<table> <columns>", "make the columns (separated by ; or ,) the primary key",
         IndexMode},
        {"CHANGE", "<table> <column> <type letter> <size>",
         "change the type (A D S I N # T @ +; other letters keep it) and size (0 keeps it) of a "
         "column; the size is a decimal whole number (15, not 0x0F)",
         ChangeMode},
        {"INFO", "[--header] <table file>",
         "list the fields of a Paradox or dBASE table (--header: every header value)",
         InfoTableMode},
        {"DUMP", "<table file>", "print the records of a Paradox or dBASE table, tab-separated",
         DumpTableMode},
        {"PACK", "<table file>",
         "rewrite a table without its deleted records and unused blob or memo space; a dBASE "
         "table whose header miscounts its records is repaired, keeping every whole record",
         PackTableMode},
    };
    return modes;
}

void PrintUsage(std::ostream& out) {
    out << "Usage: orn [/error=FILE] MODE [ARGUMENTS...]\n"
           "       orn [FILE]    open FILE in a query window (windowed mode)\n"
           "\nModes (the word in upper case, exactly):\n";
    for (const TShellMode& mode : ShellModes()) {
        out << "  " << mode.word << " " << mode.arguments << "\n      " << mode.summary << "\n";
    }
    out << "\nOptions:\n"
           "  /error=FILE   append error texts of command-line operations to FILE; may stand\n"
           "                anywhere on the line\n"
           "  --help        show this text\n"
           "  --sql-help    show the SQL that EXEC and programs accept, with examples\n"
           "  --program-help  show the commands of program lines and how [Name], macros and\n"
           "                %NAME% are replaced\n"
           "  --version     show the version\n"
           "\nExit status: 0 success, 1 failure, 2 wrong command line, 3 no display for the\n"
           "windowed mode, 130 interrupted.\n";
}

bool DisplayAvailable() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

int OrnMain(int argc, const char* const* argv, TWindowedStart windowed) {
    // errorlog.txt belongs to the directory orn was started in, whatever changes it later.
    GlobalErrorLog();
    TCommandLine line = ParseCommandLine(argc, argv);
    if (line.hasErrorFile) {
        SetErrorFileName(line.errorFile);
    }
    const std::string& first = line.Arg(1);
    if (first == "--help" || first == "-h") {
        PrintUsage(std::cout);
        return kExitOk;
    }
    if (first == "--sql-help") {
        std::cout << sql::sqlHelpText();
        return kExitOk;
    }
    if (first == "--program-help") {
        return ProgramHelpMode();
    }
    if (first == "--version") {
        std::cout << "orn " << kVersion << "\n";
        return kExitOk;
    }
    for (const TShellMode& mode : ShellModes()) {
        if (first == mode.word) {
            // errorlog.txt in the start directory, by the same switches as the windows use.
            THeadlessErrorLog errorLog(std::cerr);
            return mode.run(line);
        }
    }
    if (windowed != nullptr && DisplayAvailable()) {
        return windowed(line);
    }
    std::cerr << (windowed == nullptr ? "orn: this build has no windows"
                                      : "orn: no display for the windowed mode (DISPLAY and "
                                        "WAYLAND_DISPLAY are not set)");
    if (!first.empty()) {
        std::cerr << "; cannot open \"" << first << "\" in a window";
    }
    std::cerr << "; see orn --help for the modes without windows\n";
    return kExitNoWindows;
}

}  // namespace orn

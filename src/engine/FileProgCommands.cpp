#include "engine/FileProgCommands.h"

#include <glob.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "engine/FormCommands.h"
#include "text/zstring.h"

namespace orn {

namespace fs = std::filesystem;

namespace {

std::string Goto(const std::string& target) {
    return kGotoPrefix + target;
}

// Only "*" and "?" are wildcards in program file names; glob's other pattern characters are
// taken literally.
std::string GlobPattern(const std::string& name) {
    std::string pattern;
    for (char c : name) {
        if (c == '[' || c == ']' || c == '\\') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern;
}

struct Branches {
    std::string name;
    std::string lineYes;
    std::string lineNo;
};

Branches CutBranches(const std::string& params) {
    std::string rest = params;
    Branches b;
    // Blanks before "!!" are layout, not part of the name: no file name ends in a blank here.
    b.name = NextToken(rest, "!!");
    while (!b.name.empty() && static_cast<unsigned char>(b.name.back()) <= ' ') {
        b.name.pop_back();
    }
    b.lineYes = Trim(NextToken(rest, "!!"));
    b.lineNo = Trim(rest);
    return b;
}

}  // namespace

bool FileExistsAsFile(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    glob_t found{};
    int rc = glob(GlobPattern(name).c_str(), 0, nullptr, &found);
    bool exists = false;
    if (rc == 0 && found.gl_pathc > 0) {
        std::error_code ec;
        exists = !fs::is_directory(found.gl_pathv[0], ec);
    }
    globfree(&found);
    return exists;
}

void TFileProgramCommands::ChDir(const std::string& params, std::string& result) {
    result.clear();
    std::error_code ec;
    fs::current_path(params, ec);  // a failure is left to the host's callback to notice
    if (OnChDir) {
        OnChDir(params, result);
    }
}

void TFileProgramCommands::MoveFile(const std::string& params, std::string& result) {
    result.clear();
    std::string from, to;
    SplitTwoTrim(params, ",", from, to);
    std::error_code ec;
    // A move never replaces an existing target; across file systems it copies, then deletes.
    bool ok = !from.empty() && !to.empty() && fs::exists(from, ec) && !fs::exists(to, ec);
    if (ok) {
        fs::rename(from, to, ec);
        if (ec == std::errc::cross_device_link && !fs::is_directory(from)) {
            ec.clear();
            ok = fs::copy_file(from, to, ec) && fs::remove(from, ec);
        } else {
            ok = !ec;
        }
    }
    if (!ok) {
        result = "Could not move " + from + " to " + to;
    }
}

void TFileProgramCommands::CopyFile(const std::string& params, std::string& result) {
    result.clear();
    std::string from, to;
    SplitTwoTrim(params, ",", from, to);
    std::error_code ec;
    bool ok = !from.empty() && !to.empty() && fs::is_regular_file(from, ec) &&
              !fs::equivalent(from, to, ec);
    ec.clear();
    ok = ok && fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
    if (!ok) {
        result = "Could not copy " + from + " to " + to;
    }
}

void TFileProgramCommands::DeleteFile(const std::string& params, std::string& result) {
    result.clear();
    std::error_code ec;
    bool ok = !params.empty() && fs::exists(fs::symlink_status(params, ec)) &&
              !fs::is_directory(fs::symlink_status(params, ec)) && fs::remove(params, ec);
    if (!ok) {
        result = "Could not delete " + params;
    }
}

void TFileProgramCommands::IfExists(const std::string& params, std::string& result) {
    result.clear();
    Branches b = CutBranches(params);
    if (FileExistsAsFile(b.name)) {
        result = b.lineYes.empty() ? std::string() : Goto(b.lineYes);
    } else {
        result = b.lineNo.empty() ? std::string(kStopResult) : Goto(b.lineNo);
    }
}

void TFileProgramCommands::MkDir(const std::string& params, std::string& result) {
    result.clear();
    Branches b = CutBranches(params);
    if (b.name.empty()) {
        throw std::runtime_error("Unable to create directory");
    }
    std::error_code ec;
    fs::create_directories(b.name, ec);
    bool ok = fs::is_directory(b.name, ec);
    if (ok) {
        result = b.lineYes.empty() ? std::string() : Goto(b.lineYes);
    } else {
        result = b.lineNo.empty() ? std::string() : Goto(b.lineNo);
    }
}

void RegisterFileCommands(TParamProgram& program, TProgramCommandEvent onChDir) {
    auto provider = std::make_shared<TFileProgramCommands>();
    provider->OnChDir = std::move(onChDir);
    using Method = void (TFileProgramCommands::*)(const std::string&, std::string&);
    auto add = [&](const char* name, Method method, const char* help) {
        program.AddCommand(std::make_unique<TProgramCommand>(
            name,
            [provider, method](const std::string& p, std::string& r) {
                ((*provider).*method)(p, r);
            },
            help));
    };
    add("CHDIR", &TFileProgramCommands::ChDir, "dirname");
    add("MOVEFILE", &TFileProgramCommands::MoveFile, "filename,newfilename");
    add("COPYFILE", &TFileProgramCommands::CopyFile, "filename,newfilename");
    add("DELETEFILE", &TFileProgramCommands::DeleteFile, "filename");
    add("IFEXISTS", &TFileProgramCommands::IfExists, "filename[!!lineYes[!!lineNo]]");
    add("MKDIR", &TFileProgramCommands::MkDir, "dirname[!!lineYes[!!lineNo]]");
}

}  // namespace orn

#include "dbengine/storage/table_swap.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/posix_file.h"

namespace orn::db {
namespace fs = std::filesystem;
namespace {

std::function<void(int)>& stepHook() {
    static std::function<void(int)> hook;
    return hook;
}

void step(int n) {
    if (stepHook()) {
        stepHook()(n);
    }
}

fs::path swapRecord(const fs::path& table) {
    fs::path p = table;
    p += ".orn-swap";
    return p;
}

fs::path dirOf(const fs::path& p) {
    return p.parent_path().empty() ? fs::path(".") : p.parent_path();
}

std::vector<fs::path> companionsOf(TableFormat format, const fs::path& file) {
    return format == TableFormat::Paradox ? paradox::companionFiles(file)
                                          : dbase::companionFiles(file);
}

void removeQuietly(const fs::path& p) {
    std::error_code ec;
    fs::remove(p, ec);
}

struct SwapPlan {
    std::vector<std::pair<fs::path, fs::path>> renames;  // companions first, the table last
    std::vector<fs::path> removals;
};

// Carried out again after a crash, every step must be harmless when it was done already.
void carryOut(const SwapPlan& plan) {
    int done = 0;
    for (const auto& [from, to] : plan.renames) {
        if (::rename(from.c_str(), to.c_str()) != 0 && errno != ENOENT) {
            throw EngineError("Cannot rename " + systemErrorText(from, errno));
        }
        step(++done);
    }
    for (const auto& p : plan.removals) {
        if (::unlink(p.c_str()) != 0 && errno != ENOENT) {
            throw EngineError("Cannot remove " + systemErrorText(p, errno));
        }
        step(++done);
    }
}

SwapPlan planSwap(const fs::path& table, TableFormat format, const fs::path& replacement) {
    SwapPlan plan;
    std::vector<std::string> newExts;
    for (const auto& c : companionsOf(format, replacement)) {
        const std::string ext = asciiLower(c.extension().string());
        newExts.push_back(ext);
        plan.renames.emplace_back(fs::absolute(c), fs::absolute(companionPath(table, ext)));
    }
    plan.renames.emplace_back(fs::absolute(replacement), fs::absolute(table));
    std::error_code ec;
    if (fs::exists(table, ec)) {
        for (const auto& c : companionsOf(format, table)) {
            const std::string ext = asciiLower(c.extension().string());
            // Validity checks, views and family lists stay with the table; a change that would
            // make them wrong is refused before the new table is built.
            const bool definitions = ext == ".val" || ext == ".tv" || ext == ".fam";
            if (!definitions && std::find(newExts.begin(), newExts.end(), ext) == newExts.end()) {
                plan.removals.push_back(fs::absolute(c));
            }
        }
    }
    return plan;
}

std::string recordText(const SwapPlan& plan) {
    std::string text;
    for (const auto& [from, to] : plan.renames) {
        text += "R\t" + from.string() + "\t" + to.string() + "\n";
    }
    for (const auto& p : plan.removals) {
        text += "D\t" + p.string() + "\n";
    }
    return text + "END\n";
}

// Whether the record read is whole (ends with END), and the plan it holds.
bool parseRecord(const std::string& text, SwapPlan& plan) {
    bool whole = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            break;  // a line cut short by the crash
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        whole = line == "END";
        const auto a = line.find('\t');
        if (a == std::string::npos) {
            continue;
        }
        const auto b = line.find('\t', a + 1);
        if (line[0] == 'R' && b != std::string::npos) {
            plan.renames.emplace_back(line.substr(a + 1, b - a - 1), line.substr(b + 1));
        } else if (line[0] == 'D') {
            plan.removals.emplace_back(line.substr(a + 1));
        }
    }
    return whole;
}

// An open descriptor that is closed (and its lock released) on every way out.
class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

fs::path swapTempPath(const fs::path& table) {
    return table.parent_path() / ("~orn" + table.filename().string());
}

void discardTableFiles(TableFormat format, const fs::path& main) {
    if (fs::exists(main)) {
        for (const auto& c : companionsOf(format, main)) {
            removeQuietly(c);
        }
    }
    removeQuietly(main);
    fs::path journal = main;
    journal += ".orn-journal";
    removeQuietly(journal);
}

void swapInTable(const fs::path& table, TableFormat format, const fs::path& replacement) {
    const SwapPlan plan = planSwap(table, format, replacement);
    const std::string text = recordText(plan);
    const fs::path record = swapRecord(table);
    fs::path pending = record;
    pending += "~";
    // The record is locked for as long as this process works through it, so that opening the
    // table meanwhile does not take it for the remains of a crash. It appears under its name
    // whole, by a rename.
    PosixFile file(pending, PosixFile::Access::Create);
    if (::flock(file.fd(), LOCK_EX | LOCK_NB) != 0) {
        throw EngineError(table.string() + " is being replaced by another process");
    }
    file.truncate(0);
    file.writeAt(0, text.data(), text.size());
    file.sync();
    if (::rename(pending.c_str(), record.c_str()) != 0) {
        const int err = errno;
        removeQuietly(pending);
        throw EngineError("Cannot rename " + systemErrorText(pending, err));
    }
    syncDirectory(dirOf(table));
    step(0);
    carryOut(plan);
    syncDirectory(dirOf(table));
    removeQuietly(record);
    syncDirectory(dirOf(table));
}

bool finishInterruptedSwap(const fs::path& table) {
    const fs::path record = swapRecord(table);
    const Descriptor fd(::open(record.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return false;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;  // the process swapping is still at work
    }
    struct stat opened {};
    struct stat current {};
    if (::fstat(fd.get(), &opened) != 0 || ::stat(record.c_str(), &current) != 0 ||
        opened.st_ino != current.st_ino || opened.st_dev != current.st_dev) {
        return false;  // finished and removed while this process waited for the lock
    }
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd.get(), buf, sizeof buf)) > 0;) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    SwapPlan plan;
    if (parseRecord(text, plan)) {
        carryOut(plan);
    } else {
        // Never made whole, so nothing was moved yet: drop the new files.
        for (const auto& rename : plan.renames) {
            removeQuietly(rename.first);
        }
    }
    syncDirectory(dirOf(table));
    removeQuietly(record);
    syncDirectory(dirOf(table));
    return true;
}

void setSwapStepHook(std::function<void(int)> hook) {
    stepHook() = std::move(hook);
}

}  // namespace orn::db

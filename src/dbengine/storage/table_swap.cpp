#include "dbengine/storage/table_swap.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dbengine/storage/companion.h"
#include "dbengine/storage/formats.h"
#include "dbengine/storage/posix_file.h"
#include "text/safefile.h"

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
    // Replacing: companions first, the table last. A new table: the table first, taken only
    // while its name is still free (`claimFirst`), then its companions.
    std::vector<std::pair<fs::path, fs::path>> renames;
    std::vector<fs::path> removals;
    bool claimFirst = false;
};

class NameTaken : public EngineError {
  public:
    using EngineError::EngineError;
};

// The file a table name stands for: the user's own links are followed (the table is changed where
// it lives, the link stays); someone else's link in a shared directory is refused.
fs::path replacedTable(const fs::path& table) {
    const std::string target = FollowOwnLinks(table.string());
    if (target.empty()) {
        throw EngineError("Cannot replace " + table.string() +
                          ": it is a symbolic link that belongs to another user.");
    }
    return target;
}

// Carried out again after a crash, every step must be harmless when it was done already.
void carryOut(const SwapPlan& plan) {
    int done = 0;
    for (const auto& [from, to] : plan.renames) {
        if (done == 0 && plan.claimFirst) {
            if (!RenameNoReplace(from.string(), to.string()) && errno != ENOENT) {
                if (errno == EEXIST) {
                    throw NameTaken("Cannot save " + to.string() +
                                    ": another process created a table of that name meanwhile.");
                }
                throw EngineError("Cannot rename " + systemErrorText(from, errno));
            }
            step(++done);
            continue;
        }
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

SwapPlan planSwap(const fs::path& table, TableFormat format, const fs::path& replacement,
                  bool claimFirst) {
    SwapPlan plan;
    plan.claimFirst = claimFirst;
    if (claimFirst)
        plan.renames.emplace_back(fs::absolute(replacement), fs::absolute(table));
    std::vector<std::string> newExts;
    for (const auto& c : companionsOf(format, replacement)) {
        const std::string ext = asciiLower(c.extension().string());
        newExts.push_back(ext);
        plan.renames.emplace_back(fs::absolute(c), fs::absolute(companionPath(table, ext)));
    }
    if (!claimFirst)
        plan.renames.emplace_back(fs::absolute(replacement), fs::absolute(table));
    std::error_code ec;
    if (!claimFirst && fs::exists(table, ec)) {
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
    std::string text = plan.claimFirst ? "NEW\n" : "";
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
        if (line == "NEW") {
            plan.claimFirst = true;
            continue;
        }
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

// A record names only files in the table's own directory: anything else was not written by a swap.
bool staysBeside(const fs::path& table, const SwapPlan& plan) {
    const fs::path dir = fs::absolute(table).parent_path();
    auto inDir = [&](const fs::path& p) {
        return p.parent_path() == dir && p.filename() != ".." && p.filename() != ".";
    };
    for (const auto& [from, to] : plan.renames) {
        if (!inDir(from) || !inDir(to))
            return false;
    }
    return std::all_of(plan.removals.begin(), plan.removals.end(), inDir);
}

// The files that take another's place get its permissions and, where the user may set it, its
// group (a team's shared table stays the team's); new companions follow the old table file. A
// new table keeps what its files got when they were made (umask, a set-group-id directory).
void keepModes(const fs::path& table, const SwapPlan& plan) {
    struct stat old {};
    const bool hadTable = ::stat(table.c_str(), &old) == 0;
    for (const auto& [from, to] : plan.renames) {
        struct stat st {};
        const struct stat* model = ::stat(to.c_str(), &st) == 0 ? &st : (hadTable ? &old : nullptr);
        if (model == nullptr)
            continue;
        const Descriptor fd(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() >= 0)
            KeepModeAndGroup(fd.get(), *model);
    }
}

}  // namespace

fs::path swapTempPath(const fs::path& table) {
    const fs::path target = replacedTable(table);
    for (;;) {
        // A name someone put a file or link at meanwhile is passed over.
        fs::path temp = target.parent_path() / TempFileName(target.filename().string() + ".tmp");
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(temp, ec)))
            return temp;
    }
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

void swapInTable(const fs::path& name, TableFormat format, const fs::path& replacement,
                 SwapMode mode) {
    const fs::path table = replacedTable(name);
    const bool creating = mode == SwapMode::CreateNew;
    const SwapPlan plan = planSwap(table, format, replacement, creating);
    if (!creating)
        keepModes(table, plan);
    // A new table stays locked until its companions are in place too: whoever opens it in
    // between is told that it is in use rather than shown half a table.
    PosixFile newMain;
    if (creating) {
        newMain = PosixFile(replacement, PosixFile::Access::ReadNoLink);
        ::flock(newMain.fd(), LOCK_EX | LOCK_NB);
    }
    const std::string text = recordText(plan);
    const fs::path record = swapRecord(table);
    // The record is written under a name of this process's own, locked for as long as this
    // process works through it (so that opening the table meanwhile does not take it for the
    // remains of a crash), and appears under its name whole, by a rename that replaces nothing.
    fs::path pending;
    PosixFile file;
    while (!file.isOpen()) {
        pending = dirOf(table) / TempFileName(table.filename().string() + ".swap");
        try {
            file = PosixFile(pending, PosixFile::Access::CreateNew);
        } catch (const EngineError&) {
            std::error_code ec;
            if (!fs::exists(fs::symlink_status(pending, ec)))
                throw;
        }
    }
    ::flock(file.fd(), LOCK_EX | LOCK_NB);
    file.writeAt(0, text.data(), text.size());
    file.sync();
    bool placed = RenameNoReplace(pending.string(), record.string());
    if (!placed && errno == EEXIST) {
        // The remains of a crash (or something put there) are dealt with, then tried once more.
        finishInterruptedSwap(table);
        placed = RenameNoReplace(pending.string(), record.string());
    }
    if (!placed) {
        const int err = errno;
        removeQuietly(pending);
        if (err == EEXIST)
            throw EngineError(table.string() + " is being replaced by another process.");
        throw EngineError("Cannot rename " + systemErrorText(pending, err));
    }
    syncDirectory(dirOf(table));
    step(0);
    try {
        carryOut(plan);
    } catch (const NameTaken&) {
        removeQuietly(record);  // nothing moved
        discardTableFiles(format, replacement);
        throw;
    }
    syncDirectory(dirOf(table));
    removeQuietly(record);
    syncDirectory(dirOf(table));
}

bool finishInterruptedSwap(const fs::path& name) {
    const std::string own = FollowOwnLinks(name.string());
    if (own.empty())
        return false;
    const fs::path table = own;
    const fs::path record = swapRecord(table);
    const Descriptor fd(::open(record.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (fd.get() < 0) {
        if (errno == ELOOP)
            removeQuietly(record);  // a link no swap makes: never followed
        return false;
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return false;  // the process swapping is still at work
    }
    struct stat opened {};
    struct stat current {};
    if (::fstat(fd.get(), &opened) != 0 || ::lstat(record.c_str(), &current) != 0 ||
        opened.st_ino != current.st_ino || opened.st_dev != current.st_dev) {
        return false;  // finished and removed while this process waited for the lock
    }
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd.get(), buf, sizeof buf)) > 0;) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    SwapPlan plan;
    const bool whole = parseRecord(text, plan);
    if (!staysBeside(table, plan)) {
        removeQuietly(record);  // names files elsewhere: not a record of a swap
        return false;
    }
    if (whole) {
        try {
            carryOut(plan);
        } catch (const NameTaken&) {
            for (const auto& rename : plan.renames)  // another table took the name: drop ours
                removeQuietly(rename.first);
        }
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

bool tidyDirectory(const fs::path& dir) {
    std::vector<fs::path> records;
    std::vector<fs::path> dead;
    bool settled = true;
    std::error_code ec;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::string suffix = ".orn-swap";
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            records.push_back(dir / name.substr(0, name.size() - suffix.size()));
        } else if (name[0] == '~' && IsDeadWritersTemp(name)) {
            dead.push_back(dir / name);
        } else if (name.compare(0, 4, "~orn") == 0) {
            settled = false;  // a writer still at work: its leftovers may come later
        }
    }
    // An interrupted swap still needs the new files its record names: it is finished first.
    for (const auto& table : records) {
        try {
            finishInterruptedSwap(table);
        } catch (const EngineError&) {
            // left for the open of that table to report
        }
        fs::path record = table;
        record += ".orn-swap";
        settled = settled && !fs::exists(fs::symlink_status(record, ec));
    }
    for (const auto& p : dead) {
        ::unlink(p.c_str());  // a link is removed itself, never followed
    }
    return settled;
}

void tidyDirectoryIfChanged(const fs::path& dir) {
    struct Seen {
        dev_t dev;
        ino_t ino;
        struct timespec mtime;
    };
    static std::mutex mutex;
    static std::map<std::string, Seen> seen;
    struct stat st {};
    if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0)
        return;
    const Seen now{st.st_dev, st.st_ino, st.st_mtim};
    const std::lock_guard<std::mutex> lock(mutex);
    auto it = seen.find(dir.string());
    if (it != seen.end() && it->second.dev == now.dev && it->second.ino == now.ino &&
        it->second.mtime.tv_sec == now.mtime.tv_sec &&
        it->second.mtime.tv_nsec == now.mtime.tv_nsec) {
        return;  // no file came or went since it was last tidied, and nothing was left then
    }
    if (tidyDirectory(dir))
        seen[dir.string()] = now;
    else
        seen.erase(
            dir.string());  // a writer was at work: it may die without touching the directory
}

void setSwapStepHook(std::function<void(int)> hook) {
    stepHook() = std::move(hook);
}

}  // namespace orn::db

#include "errors/ErrorCom.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "errors/zErrors.h"
#include "text/safefile.h"
#include "text/zstring.h"

namespace orn {

namespace {

// More history than anyone scrolls through; the rest of a larger file is not offered.
constexpr std::size_t kMaxHistoryBytes = 16u << 20;

}  // namespace

TCommError& CommentError() {
    TCommError* kind = nullptr;
    RegisterError(kind, "co", "Comment", false, false, true);
    return *kind;
}

TCommentHistory::TCommentHistory(std::string fileName) : FileName(std::move(fileName)) {}

void TCommentHistory::Load() {
    Items.clear();
    // Only a regular file is history: a device or a pipe in its place could be read forever.
    struct stat st {};
    if (::stat(FileName.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return;
    }
    std::ifstream in(FileName, std::ios::binary);
    std::string line;
    std::size_t total = 0;
    while (total < kMaxHistoryBytes && in && std::getline(in, line)) {
        total += line.size() + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        Items.push_back(line);
    }
}

std::string TCommentHistory::Save() const {
    std::string text;
    for (const std::string& item : Items) {
        text += item;
        text += "\r\n";
    }
    TFileReplacer out(FileName);
    if (!out.IsOpen()) {
        return "Cannot create file \"" + FileName + "\". " + std::strerror(errno);
    }
    if (!out.Write(text) || !out.Finish()) {
        return "Cannot write file \"" + FileName + "\". " + std::strerror(errno);
    }
    return {};
}

bool TCommentHistory::Contains(const std::string& text, const SameTextFn& same) const {
    for (const std::string& item : Items) {
        if (same ? same(item, text) : SameText(item, text)) {
            return true;
        }
    }
    return false;
}

int TCommentHistory::Delete(int index) {
    if (index < 0 || index >= static_cast<int>(Items.size())) {
        return index;
    }
    Items.erase(Items.begin() + index);
    if (Items.empty()) {
        return -1;
    }
    return index < static_cast<int>(Items.size()) ? index : static_cast<int>(Items.size()) - 1;
}

bool TCommentHistory::Accept(const std::string& text, std::string& error, const SameTextFn& same) {
    error.clear();
    if (text.empty()) {
        return false;
    }
    if (!Contains(text, same)) {
        Items.insert(Items.begin(), text);
        error = Save();
        if (!error.empty()) {
            return false;
        }
    }
    return true;
}

}  // namespace orn

#include "dbengine/storage/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <utility>

#include "dbengine/storage/table.h"

namespace orn::db {

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

class ConverterCache {
  public:
    ~ConverterCache() {
        for (auto& [key, cd] : cache_)
            iconv_close(cd);
    }
    // Returns (iconv_t)-1 when iconv does not know the pair.
    iconv_t get(const std::string& to, const std::string& from) {
        auto key = std::make_pair(to, from);
        auto it = cache_.find(key);
        if (it != cache_.end()) {
            iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // reset shift state
            return it->second;
        }
        iconv_t cd = iconv_open(to.c_str(), from.c_str());
        if (cd != reinterpret_cast<iconv_t>(-1))
            cache_.emplace(key, cd);
        return cd;
    }

  private:
    std::map<std::pair<std::string, std::string>, iconv_t> cache_;
};

ConverterCache& converters() {
    thread_local ConverterCache cache;
    return cache;
}

iconv_t converter(const std::string& to, const std::string& from) {
    iconv_t cd = converters().get(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw EngineError("Unknown code page " + (to == "UTF-8" ? from : to) + ".");
    }
    return cd;
}

}  // namespace

CodePage::CodePage(std::string iconvName) : name_(std::move(iconvName)) {
    converter("UTF-8", name_);
}

std::string CodePage::toUtf8(std::string_view bytes) const {
    if (isAscii(bytes))
        return std::string(bytes);
    iconv_t cd = converter("UTF-8", name_);
    std::string out;
    out.resize(bytes.size() * 4 + 8);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            break;  // cannot happen with four bytes per input byte
        // An undefined or incomplete byte: show it as U+FFFD and go on.
        static const char kReplacement[] = "\xEF\xBF\xBD";
        if (outLeft < 3)
            break;
        for (char c : std::string_view(kReplacement, 3))
            *dst++ = c;
        outLeft -= 3;
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - outLeft);
    return out;
}

std::string CodePage::fromUtf8(std::string_view utf8) const {
    if (isAscii(utf8))
        return std::string(utf8);
    iconv_t cd = converter(name_, "UTF-8");
    std::string out;
    out.resize(utf8.size() * 4 + 8);
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1) ||
        iconv(cd, nullptr, nullptr, &dst, &outLeft) == static_cast<size_t>(-1)) {
        throw EngineError("The text \"" + std::string(utf8) + "\" cannot be stored in code page " +
                          name_ + ".");
    }
    out.resize(out.size() - outLeft);
    return out;
}

namespace {
std::string& fallbackName() {
    static std::string name;
    return name;
}
}  // namespace

const std::string& fallbackTableCodePage() {
    return fallbackName();
}

void setFallbackTableCodePage(std::string iconvName) {
    if (!iconvName.empty())
        CodePage check(iconvName);
    fallbackName() = std::move(iconvName);
}

std::string codePageName(int number) {
    if (number <= 0)
        return {};
    std::string name = "CP" + std::to_string(number);
    if (converters().get("UTF-8", name) == reinterpret_cast<iconv_t>(-1))
        return {};
    return name;
}

int codePageNumber(std::string_view iconvName) {
    if (iconvName.size() < 3 || (iconvName.substr(0, 2) != "CP" && iconvName.substr(0, 2) != "cp"))
        return 0;
    int n = 0;
    for (char c : iconvName.substr(2)) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace orn::db

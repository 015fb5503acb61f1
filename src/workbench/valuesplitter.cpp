#include "workbench/valuesplitter.h"

namespace orn {

namespace {

constexpr char kQuote = '"';

bool IsBlank(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

}  // namespace

TSplitLine SplitImportLine(std::string_view line, char delimiter) {
    TSplitLine out;
    SplitImportLine(line, delimiter, out);
    return out;
}

void SplitImportLine(std::string_view line, char delimiter, TSplitLine& out) {
    out.unbalancedQuote = false;
    std::size_t count = 0;
    // The strings of the last line are written over, so that their memory serves again.
    auto next = [&]() -> std::string& {
        if (count == out.values.size()) {
            out.values.emplace_back();
        }
        std::string& value = out.values[count++];
        value.clear();
        return value;
    };
    std::size_t i = 0;
    const std::size_t n = line.size();
    auto skipBlanks = [&] {
        while (i < n && IsBlank(line[i])) {
            ++i;
        }
    };
    skipBlanks();
    while (i < n) {
        std::string& value = next();
        if (line[i] == kQuote) {
            ++i;
            bool closed = false;
            while (i < n) {
                if (line[i] == kQuote) {
                    if (i + 1 < n && line[i + 1] == kQuote) {
                        value += kQuote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += line[i++];
            }
            if (!closed) {
                out.unbalancedQuote = true;
            }
        } else {
            const std::size_t start = i;
            while (i < n && line[i] != delimiter && !IsBlank(line[i])) {
                ++i;
            }
            value.assign(line.substr(start, i - start));
        }
        skipBlanks();
        if (i < n && line[i] == delimiter) {
            ++i;
            if (i == n) {
                next();
            }
            skipBlanks();
        }
    }
    out.values.resize(count);
}

}  // namespace orn

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
    std::size_t i = 0;
    const std::size_t n = line.size();
    auto skipBlanks = [&] {
        while (i < n && IsBlank(line[i])) {
            ++i;
        }
    };
    skipBlanks();
    while (i < n) {
        std::string value;
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
        out.values.push_back(std::move(value));
        skipBlanks();
        if (i < n && line[i] == delimiter) {
            ++i;
            if (i == n) {
                out.values.emplace_back();
            }
            skipBlanks();
        }
    }
    return out;
}

}  // namespace orn

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "settings/RegistryFile.h"

namespace orn::reg {
namespace {

std::string RandomBytes(std::mt19937& rng, std::size_t maxLen) {
    std::uniform_int_distribution<std::size_t> len(0, maxLen);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string s(len(rng), '\0');
    for (auto& c : s)
        c = static_cast<char>(byte(rng));
    return s;
}

// Every key path and string value of a document, in order.
std::string Dump(const TRegKey& key, const std::string& path = {}) {
    std::string out;
    for (const auto& e : key.Entries()) {
        out += path + "|" + std::to_string(static_cast<int>(e.kind)) + "|" + e.name + "=" + e.data +
               "\n";
    }
    for (const auto& sub : key.Subkeys())
        out += Dump(*sub, path + "\\" + sub->Name()) + "#\n";
    return out;
}

TEST(RegistryText, AnyValueSurvivesFormatAndParse) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        TRegKey root;
        std::vector<std::tuple<std::string, std::string, std::string>> stored;
        for (int i = 0; i < 5; ++i) {
            std::string path = "k" + std::to_string(i % 3) + "\\sub" + std::to_string(i);
            std::string name = RandomBytes(rng, 12);
            std::string value = RandomBytes(rng, 40);
            root.FindOrCreate(path).SetString(name, value);
            stored.emplace_back(path, name, value);
        }
        const std::string text = FormatRegistryText(root, "; test");
        const TRegDocument doc = ParseRegistryText(text);
        EXPECT_EQ(doc.damagedLines, 0u);
        TRegKey copy = std::move(const_cast<TRegDocument&>(doc).root);
        for (const auto& [path, name, value] : stored) {
            const TRegKey* key = copy.Find(path);
            ASSERT_NE(key, nullptr);
            const TRegEntry* entry = key->FindValue(name);
            ASSERT_NE(entry, nullptr);
            EXPECT_EQ(entry->kind, TRegEntry::Kind::String);
            // Names compare without letter case, so a later random name may have replaced it.
            if (entry->name == name) {
                EXPECT_EQ(entry->data, value);
            }
        }
    }
}

TEST(RegistryText, GarbageIsKeptThroughRewrites) {
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        std::string text = RandomBytes(rng, 300);
        // Mix in pieces of the real syntax so that some lines almost parse.
        for (const char* piece :
             {"\n[a\\b]\n", "\n\"x\"=\"y\n", "\n\"q\"=\"\\x4\"\n", "\n@=\"v\"\n"}) {
            if (rng() % 2 != 0)
                text.insert(rng() % (text.size() + 1), piece);
        }
        const TRegDocument first = ParseRegistryText(text);
        const std::string rewritten = FormatRegistryText(first.root, "; test");
        const TRegDocument second = ParseRegistryText(rewritten);
        // A file whose root holds nothing gets the comment line in front; all else stays.
        const std::string header = first.root.Entries().empty() ? "|2|=; test\n" : "";
        EXPECT_EQ(header + Dump(first.root), Dump(second.root)) << "round " << round;
        EXPECT_EQ(first.damagedLines, second.damagedLines);
        EXPECT_EQ(FormatRegistryText(second.root, "; test"), rewritten);
    }
}

}  // namespace
}  // namespace orn::reg

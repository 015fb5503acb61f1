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
TEST(RegistryText, DeepAndWideTreesFormatInOrderWithoutRecursion) {
    // As deep as a store may go, with values at several levels and siblings on the way.
    TRegKey root;
    std::string path;
    for (std::size_t level = 1; level <= kMaxKeyDepth; ++level) {
        path += (path.empty() ? "" : "\\") + std::string("k");
        if (level % 100 == 0) {
            root.FindOrCreate(path).SetString("at", std::to_string(level));
            root.FindOrCreate(path + "x").SetString("side", "s");
        }
    }
    root.FindOrCreate(path);
    const std::string text = FormatRegistryText(root, "; test");
    const TRegDocument doc = ParseRegistryText(text);
    EXPECT_TRUE(doc.damage.empty()) << doc.damage;
    EXPECT_EQ(FormatRegistryText(doc.root, "; test"), text);
    const TRegKey* deepest = const_cast<TRegKey&>(doc.root).Find(path);
    ASSERT_NE(deepest, nullptr);
    EXPECT_TRUE(deepest->Subkeys().empty());
    // Each key's header carries its whole path, children after their parent.
    const std::size_t at100 = text.find("[" + path.substr(0, 199) + "]\n\"at\"=\"100\"");
    const std::size_t side100 = text.find("[" + path.substr(0, 199) + "x]\n\"side\"=\"s\"");
    ASSERT_NE(at100, std::string::npos);
    ASSERT_NE(side100, std::string::npos);
    EXPECT_LT(at100, side100);  // the k subkey was made first
}

TEST(RegistryText, HeadersBeyondTheLimitsMakeTheFileDamaged) {
    // 300,000 levels crashed the reader; far past the limit it must stop at once.
    std::string deep = "\"v\"=\"1\"\n[a";
    for (int i = 0; i < 300000; ++i)
        deep += "\\a";
    deep += "]\n\"x\"=\"y\"\n";
    TRegDocument doc = ParseRegistryText(deep);
    EXPECT_EQ(doc.damage, "line 2: a key is nested more than 512 levels deep");
    EXPECT_TRUE(doc.root.Entries().empty());
    EXPECT_TRUE(doc.root.Subkeys().empty());

    std::string limit = "[ok]\n[a";
    for (std::size_t i = 1; i < kMaxKeyDepth; ++i)
        limit += "\\a";
    EXPECT_TRUE(ParseRegistryText(limit + "]\n").damage.empty());
    EXPECT_EQ(ParseRegistryText(limit + "\\a]\n").damage,
              "line 2: a key is nested more than 512 levels deep");
    EXPECT_EQ(KeyPathBeyondLimits("a\\\\b\\"), "");  // empty parts do not count
}

TEST(RegistryText, ADeepTreeIsFreedAndReplacedWithoutRecursion) {
    // Built by hand past every limit: only freeing and move assignment are exercised.
    TRegKey root;
    TRegKey* key = &root;
    for (int i = 0; i < 200000; ++i)
        key = &key->SubkeyOrAdd("a");
    key->SetString("v", "1");
    TRegKey other;
    other.SubkeyOrAdd("b");
    other = std::move(root);  // the old "b" goes, the deep tree moves in
    EXPECT_NE(other.FindSubkey("a"), nullptr);
    EXPECT_EQ(other.FindSubkey("b"), nullptr);
    other = TRegKey();  // and is freed
    EXPECT_TRUE(other.Subkeys().empty());
}

}  // namespace orn::reg

#include <gtest/gtest.h>

#include "config/config.h"
#include "foundation/file.h"
#include "foundation/thread.h"

#include <atomic>
#include "test_files.h"

using config::Config;
using cpp::String;
using testing_support::readFile;
using testing_support::TemporaryFolder;
using testing_support::writeFile;

namespace {

using Entries = std::map<String, String>;

}  // namespace

TEST(Config, FileFormatSeparatorsCommentsAndRemovals) {
    Entries entries;
    Config::apply("a=1\nb: 2\r\nc\t3\r# d 4\n// e 5\n\nf\n=6\n", entries);
    EXPECT_EQ(entries, (Entries{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"f", ""}}));
    Config::apply("[remove]\ta\n", entries);
    EXPECT_EQ(entries.count("a"), 0u);
    Config::apply("a 7\n[remove]\n", entries);
    EXPECT_TRUE(entries.empty());
    Config::apply("k  v with  blanks\n", entries);
    EXPECT_EQ(entries["k"], "v with  blanks");
}

TEST(Config, ChangesAreAppendedAndASecondInstanceSeesThem) {
    TemporaryFolder folder;
    const auto path = folder.file("qi-lark.config.txt");
    Config first(path);
    first.load();
    first.set("line_wrap", "true");
    first.set("text-font.name", "Courier New");
    first.remove("text-font.name");
    const String text = readFile(path);
    const String tail("line_wrap\ttrue\ntext-font.name\tCourier New\n[remove]\ttext-font.name\n");
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);

    Config second(path);
    second.load();
    EXPECT_EQ(second.get("line_wrap"), "true");
    EXPECT_EQ(second.get("text-font.name"), "");
    EXPECT_EQ(readFile(path), "line_wrap\ttrue\n") << "one line per key after a load";

    // A key the other instance removed is not brought back by this one's load.
    second.remove("line_wrap");
    first.load();
    EXPECT_EQ(first.get("line_wrap"), "");
}

TEST(Config, EveryKindOfLineEndKeepsEveryKeyThroughACompaction) {
    TemporaryFolder folder;
    const auto path = folder.file("qi-lark.config.txt");
    writeFile(path, "line_wrap\ttrue\rtheme\tdark\r\ntext-font.size\t12\nupdate-check\toff\r");
    Config config(path);
    config.load();
    EXPECT_EQ(config.get("line_wrap"), "true");
    EXPECT_EQ(config.get("theme"), "dark");
    EXPECT_EQ(config.get("text-font.size"), "12");
    EXPECT_EQ(config.get("update-check"), "off");
    EXPECT_EQ(readFile(path), "line_wrap\ttrue\ntext-font.size\t12\ntheme\tdark\nupdate-check\toff\n");
}

TEST(Config, FontsComeFromTheStoreOrTheDefaults) {
    TemporaryFolder folder;
    Config store(folder.file("c.txt"));
    store.load();
    auto font = store.getFont("text-font", "Consolas", 16.0);
    EXPECT_EQ(font.face, "Consolas");
    EXPECT_EQ(font.size, 16.0);
    store.set("text-font.name", "Lucida Console");
    font = store.getFont("text-font", "Consolas", 16.0);
    EXPECT_EQ(font.face, "Consolas") << "both keys are needed";
    store.set("text-font.size", "12.5");
    font = store.getFont("text-font", "Consolas", 16.0);
    EXPECT_EQ(font.face, "Lucida Console");
    EXPECT_EQ(font.size, 12.5);
}

TEST(Config, AFailedCompactionLeavesTheFileWhole) {
    TemporaryFolder folder;
    const auto path = folder.file("qi-lark.config.txt");
    String original;
    for (int i = 0; i < 200; ++i) original += String::substitute("key% value%\n", i, i);
    writeFile(path, original);
    // The compacted copy cannot be written: a folder stands in its place.
    cpp::File::createDirectories(folder.file("qi-lark.config.txt.new"));
    Config broken(path);
    broken.load();
    EXPECT_EQ(broken.get("key199"), "") << "nothing was taken from a load that failed";
    EXPECT_EQ(readFile(path), original);
    cpp::File::remove(folder.file("qi-lark.config.txt.new"));

    Config healthy(path);
    healthy.load();
    EXPECT_EQ(healthy.entries().size(), 200u);
    EXPECT_EQ(healthy.get("key7"), "value7");
}

TEST(Config, ChangesWhoseAppendFailedAreWrittenByTheNextLoad) {
    TemporaryFolder folder;
    const auto path = folder.file("sub/qi-lark.config.txt");
    Config store(path);
    store.load();
    // The folder turns into a file: appends fail.
    cpp::File::remove(folder.file("sub"));
    writeFile(folder.file("sub"), "in the way");
    store.set("kept", "yes");
    EXPECT_EQ(store.get("kept"), "yes");
    cpp::File::remove(folder.file("sub"));
    store.load();
    EXPECT_EQ(store.get("kept"), "yes");
    EXPECT_EQ(readFile(path), "kept\tyes\n");
}

TEST(Config, AppendsOfAnotherInstanceSurviveItsCompactions) {
    TemporaryFolder folder;
    const auto path = folder.file("qi-lark.config.txt");
    const int keys = 150;
    std::atomic<bool> writing{true};
    {
        cpp::Thread compacting([&] {
            Config other(path);
            while (writing.load()) other.load();
        });
        Config writer(path);
        for (int i = 0; i < keys; ++i) writer.set(String::substitute("key%", i), String::substitute("value%", i));
        writing = false;
    }
    Config check(path);
    check.load();
    for (int i = 0; i < keys; ++i)
        ASSERT_EQ(check.get(String::substitute("key%", i)), String::substitute("value%", i)) << "lost key " << i;
}

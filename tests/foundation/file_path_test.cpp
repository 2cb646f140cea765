#include <gtest/gtest.h>

#include "foundation/file.h"

using cpp::FilePath;
using cpp::String;

namespace {

std::string invalidPathMessage(const FilePath& base, const char* text) {
    try {
        (void)base.append(text);
    } catch (const FilePath::Exception& e) {
        return e.what();
    }
    return "no exception";
}

}  // namespace

TEST(FilePath, AbsoluteTextIsKeptWithForwardSlashes) {
    EXPECT_EQ(FilePath("C:\\logs\\app.log").text(), "C:/logs/app.log");
    EXPECT_EQ(FilePath("C:/dir/").text(), "C:/dir");
    EXPECT_EQ(FilePath("\\\\server\\share\\x.log").text(), "//server/share/x.log");
    EXPECT_EQ(FilePath("/var/log/syslog").text(), "/var/log/syslog");
    EXPECT_EQ(FilePath("C:\\logs\\app.log").toString('\\'), "C:\\logs\\app.log");
    EXPECT_TRUE(FilePath().empty());
}

TEST(FilePath, RelativeTextJoinsTheBaseAndFoldsDots) {
    const FilePath work("C:/work");
    EXPECT_EQ(work.append("logs/../x.txt").text(), "C:/work/x.txt");
    EXPECT_EQ(work.append(".\\a\\\\b\\.").text(), "C:/work/a/b");
    EXPECT_EQ(work.append("..").text(), "C:");
    EXPECT_EQ(invalidPathMessage(FilePath("C:/a"), "../.."), "Invalid file path: ../..");
    EXPECT_EQ(invalidPathMessage(FilePath("C:/a"), "..\\..\\x"), "Invalid file path: ../../x");
}

TEST(FilePath, RelativeTextStartsAtTheWorkingDirectory) {
    const FilePath& working = FilePath::workingDirectory();
    ASSERT_FALSE(working.empty());
    EXPECT_EQ(FilePath("some/file.log").text(), working.text() + "/some/file.log");
    EXPECT_EQ(FilePath().append("x").text(), working.text() + "/x");
}

TEST(FilePath, BadTextThrowsAnExceptionThatGeneralHandlersCatch) {
    // Handlers of commands catch std::exception: a path that climbs above its
    // root must reach them, not the last-resort handler of the program.
    std::string caught;
    try {
        (void)FilePath("C:/a").append("../../..");
    } catch (const std::exception& e) {
        caught = e.what();
    }
    EXPECT_EQ(caught, "Invalid file path: ../../..");
}

TEST(FilePath, PartsOfAPath) {
    const FilePath path("C:/logs/app.2024.log");
    EXPECT_EQ(path.fileName(), "app.2024.log");
    EXPECT_EQ(path.stem(), "app");
    EXPECT_EQ(path.parent().text(), "C:/logs");
    EXPECT_EQ(FilePath("C:/x").parent().parent().text(), "");
    EXPECT_TRUE(FilePath("C:/x").parent().parent().empty());
    EXPECT_EQ(FilePath("C:/logs/README").stem(), "README");
}

TEST(FilePath, ComparesBytewiseAndFormatsAsItsText) {
    EXPECT_EQ(FilePath("C:/a"), FilePath("C:\\a"));
    EXPECT_NE(FilePath("C:/a"), FilePath("C:/A"));
    EXPECT_LT(FilePath("C:/a"), FilePath("C:/b"));
    EXPECT_EQ(String::substitute("open %", FilePath("C:\\x\\y.log")), "open C:/x/y.log");
}

TEST(FilePath, TemporaryFilesAreNewAndDistinct) {
    const FilePath a = FilePath::temporaryFile("temp", "tmp");
    const FilePath b = FilePath::temporaryFile("temp", "tmp");
    EXPECT_NE(a, b);
    EXPECT_EQ(a.parent(), FilePath::temporaryDirectory());
    const String name = a.fileName();
    ASSERT_EQ(name.size(), 4u + 8u + 4u);
    EXPECT_EQ(name.substr(0, 4), "temp");
    EXPECT_EQ(name.substr(12), ".tmp");
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 4), 12u);
    EXPECT_TRUE(cpp::File::exists(a)) << "the name is reserved by an empty file";
    cpp::File::remove(a);
    cpp::File::remove(b);
}

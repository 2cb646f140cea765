#include <gtest/gtest.h>

#include "document/source.h"
#include "test_files.h"
#include "test_pipe.h"

using cpp::String;
using data::Source;
using testing_support::TemporaryFolder;

TEST(Source, PaletteByIdAndNamesFromThePath) {
    EXPECT_EQ(data::paletteColour(1), data::paletteColour(37));
    EXPECT_EQ(data::paletteColour(0), 0xFFF0E0E0u);
    EXPECT_EQ(data::paletteColour(35), 0xFFF090D0u);
    EXPECT_EQ(data::paletteColour(-1), 0xFFF090D0u);

    TemporaryFolder folder;
    const auto path = folder.file("app.2017.log");
    testing_support::writeFile(path, "x\n");
    cpp::Bus bus(1, String("Bus"));
    Source source = Source::file(37, path, bus, nullptr);
    EXPECT_EQ(source.name(), "app");
    EXPECT_EQ(source.pathText(), path.text());
    EXPECT_EQ(source.kind(), Source::Kind::File);
    EXPECT_EQ(source.colour(), 0u);
    source.start();
    EXPECT_EQ(source.colour(), data::paletteColour(1));
    EXPECT_THROW(Source::file(2, folder.file("missing.log"), bus, nullptr), cpp::IOException);
}

TEST(Source, LookupByIdFailsClearly) {
    std::map<std::int32_t, Source> sources;
    try {
        data::findSource(sources, 4);
        ADD_FAILURE() << "found";
    } catch (const cpp::Exception& e) {
        EXPECT_STREQ(e.what(), "Invalid source id");
    }
}

TEST(Source, CaptionNamesTheOpenSources) {
    EXPECT_EQ(data::sourceCaption({"C:/logs/app.log"}, false), "C:/logs/app.log");
    EXPECT_EQ(data::sourceCaption({"C:/logs/app1.log", "C:/logs/app2.log"}, false), "C:/logs/app[1.log, 2.log]");
    EXPECT_EQ(data::sourceCaption({"C:/logs/app.log"}, true), "(stdin) & C:/logs/app.log");
    EXPECT_EQ(data::sourceCaption({}, true), "(stdin)");
    EXPECT_EQ(data::sourceCaption({}, false), "");
    EXPECT_EQ(data::sourceCaption({"C:/a.log", "D:/b.log"}, false), "C:/a.log, D:/b.log");
    // A long common folder is shortened to its last folder.
    EXPECT_EQ(data::sourceCaption({"C:/a/very/long/folder/name/for/all/the/logs/of/service/app1.log",
                                   "C:/a/very/long/folder/name/for/all/the/logs/of/service/app2.log"},
                                  false),
              ".../service/app[1.log, 2.log]");
    std::vector<String> many;
    for (int i = 0; i < 20; ++i) many.push_back(String::substitute("C:/logs/file%.log", i));
    const String caption = data::sourceCaption(many, false);
    EXPECT_EQ(caption.substr(caption.size() - 19), "... 20 files total]");
    EXPECT_EQ(caption.find(".../logs/file[0.log, 1.log, "), 0u) << caption;
}

TEST(Source, ClosingDeletesTheCopyOfStandardInputButNeverAFile) {
    TemporaryFolder folder;
    const auto path = folder.file("keep.log");
    testing_support::writeFile(path, "x\n");
    cpp::Bus bus(1, String("Bus"));
    cpp::FilePath copy;
    {
        testing_support::TestPipe pipe;
        auto pipeSource = std::make_shared<cpp::PipeInput::Source>(pipe.readEnd(), 65536);
        pipeSource->start();
        Source input = Source::standardInput(1, cpp::Input(pipeSource), bus, nullptr);
        Source file = Source::file(2, path, bus, nullptr);
        input.start();
        file.start();
        EXPECT_EQ(input.name(), "(stdin)");
        EXPECT_EQ(input.kind(), Source::Kind::StandardInput);
        copy = input.path();
        EXPECT_TRUE(cpp::File::exists(copy));
        EXPECT_EQ(copy.parent(), cpp::FilePath::temporaryDirectory());
    }
    EXPECT_FALSE(cpp::File::exists(copy));
    EXPECT_TRUE(cpp::File::exists(path));
}

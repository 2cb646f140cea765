#include <gtest/gtest.h>

#include "program/search_path.h"

using cpp::String;

TEST(SearchPath, AddsOnceAndRemovesOnlyWholeEntries) {
    const String folder("C:\\Users\\Ann Lee\\AppData\\Local\\qi-lark");
    EXPECT_EQ(withFolderAdded("", folder), folder);
    EXPECT_EQ(withFolderAdded("C:\\first", folder), "C:\\first;" + folder);
    EXPECT_EQ(withFolderAdded("C:\\first;", folder), "C:\\first;" + folder);
    EXPECT_EQ(withFolderAdded("C:\\first;" + folder + "\\;C:\\last", folder), std::nullopt);
    EXPECT_EQ(withFolderAdded("c:\\users\\ann lee\\appdata\\local\\QI-LARK", folder), std::nullopt);
    // A longer name that begins like ours is another folder.
    EXPECT_EQ(withFolderAdded(folder + "-tools", folder), folder + "-tools;" + folder);

    EXPECT_EQ(withFolderRemoved("C:\\first;" + folder + ";C:\\last", folder), "C:\\first;C:\\last");
    EXPECT_EQ(withFolderRemoved(folder, folder), "");
    EXPECT_EQ(withFolderRemoved(folder + ";", folder), "");
    EXPECT_EQ(withFolderRemoved(folder + "-tools;C:\\x", folder), std::nullopt);
    EXPECT_EQ(withFolderRemoved("C:\\first;" + folder + "-tools;" + folder + "\\", folder),
              "C:\\first;" + folder + "-tools");
    EXPECT_EQ(withFolderRemoved("%USERPROFILE%\\bin;;" + folder, folder), "%USERPROFILE%\\bin;") << "other entries stay as they were";
}

#pragma once

#include "foundation/file.h"

// The file-system calls that differ between Windows and POSIX.
namespace cpp::platform {

String currentDirectory();
// The running executable; empty when it cannot be read.
String programFile();
String temporaryDirectory();
// Creates an empty file that must not exist yet; false if it does. Other
// failures throw IOException.
bool createNewFile(const FilePath& path);
File::Result removeFile(const FilePath& path);
File::Result removeTree(const FilePath& path);
File::Result copyTree(const FilePath& from, const FilePath& to);
File::Result makeDirectory(const FilePath& path);
File::Result replaceFile(const FilePath& from, const FilePath& to);
// Fills the attributes of `info.path`.
void readFileInfo(FileInfo& info);

}  // namespace cpp::platform

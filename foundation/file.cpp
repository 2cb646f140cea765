#include "foundation/file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundation/platform_files.h"

namespace cpp {

String File::resultName(std::int32_t kind) {
    static const char* const names[] = {"Success", "Access", "NoEntry", "Invalid", "Exists", "NotEmpty"};
    return String(kind >= 0 && kind < 6 ? names[kind] : "Unknown");
}

std::shared_ptr<File::Handle> File::create(const FilePath& path) {
    return std::make_shared<Handle>(path, OpenMode::Create, ShareMode::ShareRead, 0);
}

std::shared_ptr<File::Handle> File::overwrite(const FilePath& path) {
    return std::make_shared<Handle>(path, OpenMode::Overwrite, ShareMode::ShareRead, 0);
}

std::shared_ptr<File::Handle> File::append(const FilePath& path, ShareMode share) {
    return std::make_shared<Handle>(path, OpenMode::Append, share, Handle::currentSize);
}

std::shared_ptr<File::Handle> File::readToSize(const FilePath& path, std::uint64_t offset) {
    return std::make_shared<Handle>(path, OpenMode::ReadToSize, ShareMode::ShareReadWrite, offset);
}

std::shared_ptr<File::Handle> File::follow(const FilePath& path) {
    return std::make_shared<Handle>(path, OpenMode::Follow, ShareMode::ShareReadWrite, 0);
}

bool File::exists(const FilePath& path) { return FileInfo(path).exists; }

File::Result File::remove(const FilePath& path) {
    if (FileInfo(path).isDirectory) return platform::removeTree(path);
    return platform::removeFile(path);
}

File::Result File::copy(const FilePath& from, const FilePath& to) { return platform::copyTree(from, to); }

bool File::equal(const FilePath& a, const FilePath& b) {
    const FileInfo infoA(a), infoB(b);
    if (!infoA.exists || !infoB.exists || infoA.size != infoB.size) return false;
    const Input left(readToSize(a, 0)), right(readToSize(b, 0));
    std::vector<char> chunkA(65536), chunkB(65536);
    for (std::uint64_t done = 0; done < infoA.size;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(chunkA.size(), infoA.size - done));
        try {
            left.get(ByteRange{chunkA.data(), want});
            right.get(ByteRange{chunkB.data(), want});
        } catch (const EOFException&) {
            return false;  // one of them shrank meanwhile
        }
        if (std::memcmp(chunkA.data(), chunkB.data(), want) != 0) return false;
        done += want;
    }
    return true;
}

File::Result File::createDirectories(const FilePath& path) {
    const FileInfo info(path);
    if (info.exists) return info.isDirectory ? Result::Success : Result::Exists;
    const FilePath parent = path.parent();
    if (!parent.empty() && !File::exists(parent)) {
        const Result made = createDirectories(parent);
        if (made != Result::Success) return made;
    }
    return platform::makeDirectory(path);
}

File::Result File::replace(const FilePath& from, const FilePath& to) { return platform::replaceFile(from, to); }

FileInfo::FileInfo(const FilePath& path) : path(path) { platform::readFileInfo(*this); }

}  // namespace cpp

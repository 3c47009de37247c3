#include "SafeFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "norn/ScopedFileDescriptor.h"

namespace norn::tool {

namespace {

using CFileDescriptor = norn::CScopedFileDescriptor;

[[noreturn]] void Fail(const std::string& what, const std::string& path, int error) {
    throw CFileError(what + " " + path + ": " + std::strerror(error));
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void WriteAll(int descriptor, std::string_view content, const std::string& path) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(descriptor, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) Fail("cannot write", path, n < 0 ? errno : ENOSPC);
        done += static_cast<size_t>(n);
    }
}

}  // namespace

EPathKind PathKind(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return EPathKind::Missing;
        Fail("cannot look at", path, errno);
    }
    if (S_ISREG(info.st_mode)) return EPathKind::RegularFile;
    if (S_ISDIR(info.st_mode)) return EPathKind::Directory;
    return EPathKind::Other;
}

void RequireFileOrMissing(const std::string& path) {
    const EPathKind kind = PathKind(path);
    if (kind == EPathKind::Directory) throw CFileError(path + " is a folder, not a file");
    if (kind == EPathKind::Other) {
        throw CFileError(path + " is a link or a device, not a regular file; refused");
    }
}

void MakeDirectory(const std::string& path) {
    const EPathKind kind = PathKind(path);
    if (kind == EPathKind::Directory) return;
    if (kind != EPathKind::Missing) {
        throw CFileError(path + " is not a folder (a file, a link or a device); refused");
    }
    if (mkdir(path.c_str(), 0755) != 0) Fail("cannot create", path, errno);
    SyncDirectory(ParentOf(path));
}

std::string ReadRegularFile(const std::string& path, size_t maxSize) {
    CFileDescriptor file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ELOOP) throw CFileError(path + " is a symbolic link; refused");
        Fail("cannot read", path, errno);
    }
    struct stat info {};
    if (fstat(file.Get(), &info) != 0) Fail("cannot read", path, errno);
    if (!S_ISREG(info.st_mode)) throw CFileError(path + " is not a regular file; refused");
    if (static_cast<unsigned long long>(info.st_size) > maxSize) {
        throw CFileError(path + " has " + std::to_string(info.st_size) + " bytes, more than " +
                         std::to_string(maxSize));
    }
    std::string content(static_cast<size_t>(info.st_size), '\0');
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = read(file.Get(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail("cannot read", path, errno);
        if (n == 0) break;  // shrank while being read
        done += static_cast<size_t>(n);
    }
    content.resize(done);
    return content;
}

void WriteFileAtomically(const std::string& path, std::string_view content) {
    RequireFileOrMissing(path);
    const std::string temporary = path + ".tmp";
    unlink(temporary.c_str());  // a killed run's leftover; a link is removed, never followed
    CFileDescriptor file(
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (file.Get() < 0) Fail("cannot create", temporary, errno);
    try {
        WriteAll(file.Get(), content, temporary);
        if (fsync(file.Get()) != 0) Fail("cannot write", temporary, errno);
        if (!file.Close()) Fail("cannot write", temporary, errno);
        if (rename(temporary.c_str(), path.c_str()) != 0) Fail("cannot replace", path, errno);
    } catch (const CFileError&) {
        unlink(temporary.c_str());
        throw;
    }
    SyncDirectory(ParentOf(path));
}

void WriteNewFile(const std::string& path, std::string_view content) {
    CFileDescriptor file(
        open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (file.Get() < 0) Fail("cannot create", path, errno);
    WriteAll(file.Get(), content, path);
    if (fsync(file.Get()) != 0 || !file.Close()) Fail("cannot write", path, errno);
}

void AppendToFile(const std::string& path, std::string_view text) {
    CFileDescriptor file(open(
        path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (file.Get() < 0) {
        if (errno == ELOOP) throw CFileError(path + " is a symbolic link; refused");
        Fail("cannot write", path, errno);
    }
    struct stat info {};
    if (fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw CFileError(path + " is not a regular file; refused");
    }
    WriteAll(file.Get(), text, path);
    if (fsync(file.Get()) != 0) Fail("cannot write", path, errno);
    if (!file.Close()) Fail("cannot write", path, errno);
}

void SyncDirectory(const std::string& path) {
    CFileDescriptor directory(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() < 0 || fsync(directory.Get()) != 0) Fail("cannot flush", path, errno);
}

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(path.c_str()), closedir);
    if (!directory) {
        if (errno == ENOENT) return names;
        Fail("cannot list", path, errno);
    }
    while (const dirent* entry = readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveDirectoryOfFiles(const std::string& path) {
    if (PathKind(path) != EPathKind::Directory) throw CFileError(path + " is not a folder");
    for (const std::string& name : DirectoryEntries(path)) {
        const std::string file = path + "/" + name;
        if (PathKind(file) != EPathKind::RegularFile) {
            throw CFileError(file + " is not a regular file; " + path + " left as it is");
        }
    }
    for (const std::string& name : DirectoryEntries(path)) {
        const std::string file = path + "/" + name;
        if (unlink(file.c_str()) != 0) Fail("cannot remove", file, errno);
    }
    if (rmdir(path.c_str()) != 0) Fail("cannot remove", path, errno);
    SyncDirectory(ParentOf(path));
}

}  // namespace norn::tool

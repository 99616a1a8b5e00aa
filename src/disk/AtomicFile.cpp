#include "disk/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace velgard {

namespace {

AtomicWriteStatus Fail(AtomicWriteStatus status, std::string* error, const std::string& text) {
    if (error) *error = text;
    return status;
}

std::string Reason(const std::string& what, const std::filesystem::path& p, int err) {
    return what + " " + p.string() + ": " + std::strerror(err);
}

bool WriteAll(int fd, std::span<const std::uint8_t> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

AtomicWriteStatus WriteFileAtomically(const std::filesystem::path& path,
                                      std::span<const std::uint8_t> data, std::string* error) {
    if (path.empty()) return Fail(AtomicWriteStatus::Failed, error, "no file name given");
    std::filesystem::path target = path;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        target = std::filesystem::weakly_canonical(path, ec);
        if (ec) return Fail(AtomicWriteStatus::Failed, error, "cannot follow the link " + path.string());
    }

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (!existed && errno != ENOENT) {
        return Fail(AtomicWriteStatus::Failed, error, Reason("cannot reach", target, errno));
    }
    if (existed) {
        if (!S_ISREG(old.st_mode)) {
            return Fail(AtomicWriteStatus::Failed, error, target.string() + " is not a regular file");
        }
        // Checked on the mode bits rather than with access(): a file the user
        // protected stays protected even for the superuser.
        if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            return Fail(AtomicWriteStatus::TargetReadOnly, error, target.string() + " is read-only");
        }
    }

    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        std::string name(1, '.');
        name += target.filename().string();
        name += ".tmp-";
        name += std::to_string(::getpid());
        name += '-';
        name += std::to_string(counter++);
        name += '-';
        name += std::to_string(rd() % 100000);
        temp = folder / name;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return Fail(AtomicWriteStatus::Failed, error, Reason("cannot create a file in", folder, errno));

    auto abandon = [&](const std::string& what) {
        const int err = errno;
        ::close(fd);
        ::unlink(temp.c_str());
        return Fail(AtomicWriteStatus::Failed, error, Reason(what, target, err));
    };
    if (existed) {
        // Keep the old file's permissions and, where we may, its owner.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed for an ordinary user: the file then belongs to them.
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0) return abandon("cannot set the permissions of");
    }
    if (!WriteAll(fd, data)) return abandon("cannot write");
    if (::fsync(fd) != 0) return abandon("cannot flush");
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Fail(AtomicWriteStatus::Failed, error, Reason("cannot write", target, err));
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Fail(AtomicWriteStatus::Failed, error, Reason("cannot replace", target, err));
    }
    // Make the rename itself durable.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return AtomicWriteStatus::Ok;
}

}  // namespace velgard

// A folder of the test's own under /tmp, removed with all it holds at the end of the case.
#pragma once

#include <string>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

class ScratchFolder
{
public:
    ScratchFolder()
    {
        char pattern[] = "/tmp/comutel-test-XXXXXX";
        m_path = ::mkdtemp(pattern) ? pattern : "/nonexistent";
    }
    ~ScratchFolder() { ::nftw(m_path.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS); }

    const std::string &path() const { return m_path; }
    std::string operator/(const std::string &name) const { return m_path + '/' + name; }

    bool write(const std::string &name, const std::string &contents) const
    {
        const int fd = ::open((*this / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool done = fd >= 0 && ::write(fd, contents.data(), contents.size()) ==
                                         static_cast<ssize_t>(contents.size());
        return ::close(fd) == 0 && done;
    }
    bool link(const std::string &target, const std::string &name) const
    {
        return ::symlink(target.c_str(), (*this / name).c_str()) == 0;
    }
    bool exists(const std::string &name) const
    {
        struct stat info;
        return ::lstat((*this / name).c_str(), &info) == 0;
    }

private:
    static int removeEntry(const char *path, const struct stat *, int, FTW *)
    {
        return ::remove(path);
    }

    std::string m_path;
};

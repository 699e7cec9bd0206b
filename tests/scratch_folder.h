// For the Linux units' tests, which run as root: scratch folders, a file's bytes, and acting as
// another user for a while.
#pragma once

#include <doctest/doctest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

constexpr uid_t kNobody = 65534;

// A folder of root's, set up by a shell command run in it, and removed with all it holds.
struct ScratchFolder
{
    std::string path = ::mkdtemp(std::string("/tmp/comutel-test.XXXXXX").data());
    explicit ScratchFolder(const std::string &setup = ":")
    {
        REQUIRE(std::system(("cd '" + path + "' && " + setup).c_str()) == 0);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path); }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    std::string operator/(const std::string &name) const { return path + '/' + name; }
    bool write(const std::string &name, const std::string &bytes) const
    {
        std::ofstream file(*this / name, std::ios::binary | std::ios::trunc);
        return static_cast<bool>(file << bytes);
    }
    bool link(const std::string &target, const std::string &name) const
    {
        return ::symlink(target.c_str(), (*this / name).c_str()) == 0;
    }
    bool exists(const std::string &name) const // the link itself, not what it leads to
    {
        return std::filesystem::exists(std::filesystem::symlink_status(*this / name));
    }
};

inline std::string contents(const std::string &path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

// Acts as uid, with gid its only group, until destroyed; uid 0 changes nothing.
struct AsUser
{
    const bool other;
    AsUser(uid_t uid, gid_t gid) : other(uid != 0)
    {
        REQUIRE((!other || (::setgroups(1, &gid) | ::setegid(gid) | ::seteuid(uid)) == 0));
    }
    ~AsUser()
    {
        if (other && (::seteuid(0) | ::setegid(0) | ::setgroups(0, nullptr)) != 0)
            std::abort(); // the tests that follow must not run as someone else
    }
};

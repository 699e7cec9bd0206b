// The reply log on scratch folders: its one line, whose file it keeps, the links it follows or
// refuses, its write in place, and the temporaries that killed writers leave behind.
#include "reply_log_file.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

// A scratch folder, removed with all it holds.
struct Scratch
{
    std::string path;
    Scratch() : path(::mkdtemp(std::string("/tmp/tst_reply_log.XXXXXX").data())) {}
    ~Scratch() { std::system(("rm -rf '" + path + "'").c_str()); }
};

std::string contents(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<unreadable>";
}

std::set<std::string> entries(const std::string &folder)
{
    std::set<std::string> names;
    DIR *listing = ::opendir(folder.c_str());
    while (const dirent *entry = listing ? ::readdir(listing) : nullptr)
        if (entry->d_name != std::string(".") && entry->d_name != std::string(".."))
            names.insert(entry->d_name);
    if (listing)
        ::closedir(listing);
    return names;
}

// Runs body in a child as uid (with gid as its only group), or as we are for 0; its result.
template <typename Body> bool asUser(uid_t uid, gid_t gid, Body body)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool become =
            uid == 0 || (::setgroups(1, &gid) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0);
        ::_exit(become && body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

bool needsRoot()
{
    if (::geteuid() == 0)
        return false;
    MESSAGE("needs root, to act as and for other users");
    if (std::getenv("COMUTEL_NO_SKIPS"))
        FAIL("needs root");
    return true;
}

} // namespace

TEST_CASE("one line, in a file that keeps what the one it replaces was")
{
    if (needsRoot())
        return;
    struct Row
    {
        const char *name;
        std::string text; // goes out byte for byte, then CR LF
        bool earlier;     // a log.txt there before, nobody's 0666 (users:0664 for a user)
        uid_t writer;
        uid_t owner;
        gid_t group;
        mode_t mode;
    };
    const Row rows[] = {
        {"fresh, readable by all whatever the umask", "-", false, 0, 0, 0, 0644},
        {"root keeps a shared log's owner and mode", "OK\r\n", true, 0, kNobody, kNobody, 0666},
        {"a user keeps its group and mode", "\x80\xe7\xff\x1a", true, kNobody, kNobody, 100, 0664},
    };
    for (const Row &row : rows) {
        CAPTURE(row.name);
        Scratch folder;
        ReplyLogFile log(folder.path);
        REQUIRE(::chmod(folder.path.c_str(), 0777) == 0);
        if (row.earlier) {
            REQUIRE(log.write("a longer answer from an earlier run"));
            const bool user = row.writer != 0;
            REQUIRE(::chown(log.path().c_str(), user ? 0 : kNobody, user ? 100 : kNobody) == 0);
            REQUIRE(::chmod(log.path().c_str(), user ? 0664 : 0666) == 0);
        }
        CHECK(asUser(row.writer, 100, [&] {
            ::umask(077);
            return log.write(row.text);
        }));
        struct stat info = {};
        CHECK(::stat(log.path().c_str(), &info) == 0);
        CHECK(contents(log.path()) == row.text + "\r\n");
        CHECK(info.st_uid == row.owner);
        CHECK(info.st_gid == row.group);
        CHECK((info.st_mode & 07777) == row.mode);
        CHECK(entries(folder.path) == std::set<std::string>{"log.txt"}); // nothing left behind
    }
}

TEST_CASE("follows only links no one else could place, and never writes through one")
{
    if (needsRoot())
        return;
    // bin/log.txt is a link to var/log.txt, as installed; var is the group-writable folder where
    // the log lives, and var/log.txt a link that a member of the group planted there.
    struct Row
    {
        const char *name;
        mode_t binMode;
        bool linkOfAnotherUser;
        bool followed;
    };
    for (const Row &row : {Row{"installed link", 0755, false, true},
                           Row{"link in a folder others can write", 0775, false, false},
                           Row{"link of another user", 0755, true, false}}) {
        CAPTURE(row.name);
        Scratch root;
        const std::string at = root.path;
        REQUIRE((::mkdir((at + "/bin").c_str(), row.binMode) == 0 &&
                 ::chmod((at + "/bin").c_str(), row.binMode) == 0 &&
                 ::mkdir((at + "/var").c_str(), 02775) == 0));
        std::ofstream(at + "/victim") << "secret";
        REQUIRE((::symlink((at + "/victim").c_str(), (at + "/var/log.txt").c_str()) == 0 &&
                 ::symlink("../var/log.txt", (at + "/bin/log.txt").c_str()) == 0));
        if (row.linkOfAnotherUser)
            REQUIRE(::lchown((at + "/bin/log.txt").c_str(), kNobody, kNobody) == 0);

        ReplyLogFile log(at + "/bin");
        CHECK(log.write("-") == row.followed);
        CHECK(contents(at + "/victim") == "secret");
        struct stat info = {};
        CHECK(::lstat((at + "/var/log.txt").c_str(), &info) == 0);
        CHECK(S_ISLNK(info.st_mode) == !row.followed);
        if (row.followed)
            CHECK(contents(at + "/var/log.txt") == "-\r\n");
        else
            CHECK(log.errorString().find(log.path()) != std::string::npos);
    }
}

TEST_CASE("in a folder not ours to write, the log is written in place and never seen empty")
{
    if (needsRoot())
        return;
    Scratch folder; // root's, 0700: nobody may only write the file itself
    REQUIRE(::chmod(folder.path.c_str(), 0755) == 0);
    ReplyLogFile log(folder.path);
    REQUIRE(log.write("a longer answer from an earlier run"));
    REQUIRE(::chown(log.path().c_str(), kNobody, kNobody) == 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        bool written = ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        for (int i = 0; written && i < 3000; ++i)
            written = log.write(i % 2 ? "OK" : "a longer answer");
        ::_exit(written ? 0 : 1);
    }
    int empty = 0, status = 0;
    while (::waitpid(writer, &status, WNOHANG) == 0)
        empty += contents(log.path()).empty();
    CHECK(empty == 0);
    CHECK((WIFEXITED(status) && WEXITSTATUS(status) == 0));
    CHECK(contents(log.path()) == "OK\r\n"); // cut to its length
}

TEST_CASE("temporaries of writers that have ended go; a live writer's, links and others stay")
{
    Scratch folder;
    const std::string at = folder.path + '/';
    const pid_t ended = ::fork();
    if (ended == 0)
        ::_exit(0);
    REQUIRE(::waitpid(ended, nullptr, 0) == ended);
    const std::string dead = ".log.txt." + std::to_string(ended) + ".k3x9";
    const std::string live = ".log.txt." + std::to_string(::getppid()) + ".k3x9";
    const std::string link = ".log.txt." + std::to_string(ended) + ".l1nk";
    const std::set<std::string> kept = {
        "log.txt", live, dead + "Z", ".other.txt." + dead.substr(9), link, "victim"};
    for (const std::string &name : {dead, live, dead + "Z", ".other.txt." + dead.substr(9)})
        std::ofstream(at + name) << "x";
    std::ofstream(at + "victim") << "secret";
    REQUIRE(::symlink((at + "victim").c_str(), (at + link).c_str()) == 0);
    ReplyLogFile log(folder.path);
    REQUIRE(log.write("-"));
    CHECK(entries(folder.path) == kept);
    CHECK(contents(at + "victim") == "secret");
}

// The reply log on scratch folders: its one line, whose file it keeps, the links it follows or
// refuses, its write in place, and the temporaries that killed writers leave behind.
#include "posix/reply_log_file.h"
#include "tests/scratch_folder.h"
#include "tests/skip.h"

#include <atomic>
#include <csignal>
#include <set>
#include <thread>
#include <tuple>

static std::set<std::string> entries(const std::string &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename());
    return names;
}

TEST_CASE("one line, in a file that keeps the owner, group and mode of the one it replaces")
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("precisa de root, para agir como outros usuários e para eles");
    // earlier: another run's log over our line, nobody's for root, root's for nobody; text: as is
    using Row = std::tuple<const char *, std::string, bool, uid_t, gid_t, mode_t>;
    for (const auto &[name, text, earlier, writer, group, mode] : {
             Row{"fresh, readable by all whatever the umask", "-", false, 0, 0, 0644},
             Row{"root keeps a shared log's owner", "OK\r\n", true, 0, kNobody, 0666},
             Row{"a user keeps its group", "\x80\xe7\xff\x1a", true, kNobody, 100, 0664},
         }) {
        CAPTURE(name);
        ScratchFolder folder("chmod 777 .");
        ReplyLogFile log(folder.path);
        if (earlier)
            REQUIRE((log.write(text) && ReplyLogFile(folder.path).write("another run's answer") &&
                     ::chown(log.path().c_str(), writer ? 0 : kNobody, group) == 0 &&
                     ::chmod(log.path().c_str(), mode) == 0));
        const mode_t umask = ::umask(077);
        CHECK((AsUser(writer, 100), log.write(text)));
        ::umask(umask);
        struct stat info = {};
        CHECK(::stat(log.path().c_str(), &info) == 0);
        CHECK(contents(log.path()) == text + "\r\n");
        CHECK(info.st_uid == (earlier ? kNobody : 0));
        CHECK(info.st_gid == group);
        CHECK((info.st_mode & 07777) == mode);
        CHECK(entries(folder.path) == std::set<std::string>{"log.txt"}); // nothing left behind
    }
}

TEST_CASE("follows only links no one else could place, and never writes through one")
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("precisa de root, para agir como outros usuários e para eles");
    // bin/log.txt is a link to var/log.txt, as installed; var is the group-writable folder where
    // the log lives, and var/log.txt a link that a member of the group planted there.
    using Row = std::tuple<const char *, const char *, bool>;
    for (const auto &[name, setup, followed] : {
             Row{"installed link", ":", true},
             Row{"link in a folder others can write", "chmod 775 bin", false},
             Row{"link of another user", "chown -h nobody bin/log.txt", false},
         }) {
        CAPTURE(name);
        ScratchFolder root("mkdir -m 755 bin && mkdir -m 2775 var && printf secret >victim && "
                           "ln -s \"$PWD/victim\" var/log.txt && ln -s ../var/log.txt bin && " +
                           std::string(setup));
        ReplyLogFile log(root.path + "/bin");
        CHECK(log.write("-") == followed);
        CHECK(std::filesystem::is_symlink(root.path + "/var/log.txt") == !followed);
        CHECK(contents(root.path + "/var/log.txt") == (followed ? "-\r\n" : "secret"));
        CHECK((log.errorString().find(log.path()) != std::string::npos) == !followed);
    }
}

TEST_CASE("in a folder not ours to write, the log is written in place and never seen empty")
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("precisa de root, para agir como outros usuários e para eles");
    ScratchFolder folder("chmod 755 . && echo a longer answer >log.txt && chown nobody log.txt");
    ReplyLogFile log(folder.path);
    std::atomic<bool> done{false};
    int empty = 0;
    std::thread reader([&] {
        while (!done)
            empty += contents(log.path()).empty();
    });
    bool written = true;
    {
        AsUser nobody(kNobody, kNobody);
        for (int i = 0; written && i < 3000; ++i)
            written = log.write(i % 2 ? "OK" : "a longer answer");
    }
    done = true;
    reader.join();
    CHECK(written);
    CHECK(empty == 0);
    CHECK(contents(log.path()) == "OK\r\n"); // cut to its length
}

TEST_CASE("in place, a FIFO is never waited on, nor a file with another name written through")
{
    if (::geteuid() != 0)
        COMUTEL_SKIP("precisa de root, para agir como outros usuários e para eles");
    struct sigaction wake = {}; // without SA_RESTART: an open that waits is cut short
    wake.sa_handler = [](int) {};
    ::sigaction(SIGALRM, &wake, nullptr);
    for (const char *setup : {"mkfifo -m 666 log.txt", "umask 0;printf '\\r\\n'>a;ln a log.txt"}) {
        CAPTURE(setup);
        ScratchFolder folder("chmod 755 . && " + std::string(setup));
        ReplyLogFile log(folder.path);
        ::alarm(5);
        CHECK_FALSE((AsUser(kNobody, kNobody), log.write(""))); // though a holds that line
        ::alarm(0);
        CHECK(log.errorString().find(setup[0] == 'm' ? "arquivo comum" : "mais de um nome") !=
              std::string::npos);
    }
}

TEST_CASE("temporaries of writers that have ended go; a live writer's, links and others stay")
{
    const std::string dead = ".log.txt.99999999."; // above any pid_max: a writer that has ended
    const std::string live = ".log.txt." + std::to_string(::getppid()) + ".k3x9";
    ScratchFolder folder("touch " + dead + "k3x9 " + live + ' ' + dead + "K3X9 .other" + dead +
                         " && ln -s " + live + ' ' + dead + "l1nk");
    REQUIRE(ReplyLogFile(folder.path).write("-"));
    CHECK(entries(folder.path) ==
          std::set<std::string>{"log.txt", live, dead + "K3X9", ".other" + dead, dead + "l1nk"});
}

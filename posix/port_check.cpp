#include "posix/port_check.h"

#include "posix/port_locks.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace portcheck {

namespace {

Finding fromSystem(State state, int error)
{
    return {state, std::strerror(error)};
}

// sysfs knows each character device by its number: a tty's subsystem is "tty", and a serial
// driver's port tells in `type` what UART it found, 0 for none. Without sysfs, assume a port.
bool isSerial(dev_t device)
{
    if (isPseudoTerminal(device))
        return true;
    const std::string node =
        "/sys/dev/char/" + std::to_string(major(device)) + ':' + std::to_string(minor(device));
    char subsystem[PATH_MAX];
    const ssize_t size = ::readlink((node + "/subsystem").c_str(), subsystem, sizeof subsystem - 1);
    if (size > 0) {
        const std::string link(subsystem, static_cast<size_t>(size));
        if (link.substr(link.find_last_of('/') + 1) != "tty")
            return false;
    }
    std::ifstream type(node + "/type");
    std::string uart;
    return !(type >> uart) || uart != "0";
}

bool processHasGroup(gid_t group)
{
    if (::getegid() == group)
        return true;
    gid_t groups[NGROUPS_MAX + 1];
    const int count = ::getgroups(NGROUPS_MAX + 1, groups);
    for (int i = 0; i < count; ++i) {
        if (groups[i] == group)
            return true;
    }
    return false;
}

// In the group's list of members, or the group of the user's passwd entry.
bool userListedIn(const struct group *group, gid_t gid)
{
    const struct passwd *user = ::getpwuid(::getuid());
    if (!user)
        return false;
    if (user->pw_gid == gid)
        return true;
    for (char **member = group ? group->gr_mem : nullptr; member && *member; ++member) {
        if (std::strcmp(*member, user->pw_name) == 0)
            return true;
    }
    return false;
}

std::string userName(uid_t uid)
{
    const struct passwd *user = ::getpwuid(uid);
    return user ? user->pw_name : std::to_string(uid);
}

// Opened without becoming our terminal, asked, and closed: nothing on its line changes.
Finding probe(const std::string &path, const struct stat &node)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == EBUSY ? heldExclusively(node, -1) : fromSystem(State::NotSerial, errno);
    const Finding finding =
        inExclusiveMode(fd) ? heldExclusively(node, fd) : Finding{State::Free, {}};
    ::close(fd);
    return finding;
}

} // namespace

bool isPseudoTerminal(dev_t device)
{
    return major(device) >= 136 && major(device) <= 143; // Unix98 pseudo-terminal slaves
}

bool inExclusiveMode(int fd)
{
    int exclusive = 0;
    return ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

Finding heldExclusively(const struct stat &node, int ownFd)
{
    const dev_t device = node.st_rdev;
    if (const auto holder =
            portlocks::deviceHolder(device, isPseudoTerminal(device) ? node.st_dev : 0, ownFd))
        return {State::Busy, "PID " + std::to_string(holder->pid) + ", " + holder->name};
    // A UART's exclusive mode ends with its last close: a holder we cannot see has it.
    if (!isPseudoTerminal(device))
        return {State::Busy, {}};
    return {ownFd >= 0 ? State::Free : State::LeftExclusive, {}};
}

std::string forgery(const portlocks::LockFile &lock)
{
    return "trava falsa ignorada: " + lock.path + " é de " + userName(lock.owner) +
           ", mas nomeia o PID " + std::to_string(lock.pid) + ", de " + userName(lock.pidUser);
}

Finding check(const std::string &path, const std::vector<std::string> &lockFolders)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Finding{}
                                                   : fromSystem(State::NotSerial, errno);
    if (!S_ISCHR(info.st_mode))
        return {State::NotSerial, "não é um dispositivo de caracteres"};
    if (const auto lock = portlocks::lockFileOn(path, lockFolders, false))
        return heldBy(*lock);
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return errno == EACCES || errno == EPERM ? noPermission(path)
                                                 : fromSystem(State::NotSerial, errno);
    if (!isSerial(info.st_rdev))
        return {State::NotSerial, {}};
    if (portlocks::flockHolder(path))
        return flockedBy(path);
    if (isPseudoTerminal(info.st_rdev))
        return probe(path, info);
    if (const auto holder = portlocks::deviceHolder(info.st_rdev))
        return {State::Busy, "PID " + std::to_string(holder->pid) + ", " + holder->name};
    return {State::Free, {}};
}

Finding heldBy(const portlocks::LockFile &lock)
{
    return {State::Busy, lock.pid > 0 ? "PID " + std::to_string(lock.pid) : "trava " + lock.path};
}

Finding flockedBy(const std::string &path)
{
    const long holder = portlocks::flockHolder(path).value_or(0);
    return {State::Busy, holder > 0 ? "PID " + std::to_string(holder) : std::string()};
}

Finding noPermission(const std::string &path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return fromSystem(State::NoPermission, errno);
    const struct group *group = ::getgrgid(info.st_gid);
    const std::string name = group ? group->gr_name : std::to_string(info.st_gid);
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {State::NoPermission, info.st_uid == 0 ? "só o root pode abri-lo"
                                                      : "só o root e " + userName(info.st_uid) +
                                                            ", dono do "
                                                            "dispositivo, podem abri-lo"};
    if (!userListedIn(group, info.st_gid))
        return {State::NoPermission, "o usuário precisa pertencer ao grupo " + name +
                                         ", dono do dispositivo (normalmente dialout)"};
    if (!processHasGroup(info.st_gid))
        return {State::NoPermission, "o usuário já está no grupo " + name +
                                         ", mas esta sessão ainda não: entre de "
                                         "novo na sessão"};
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    return {State::NoPermission, "acesso negado (dono " + userName(info.st_uid) + ", grupo " +
                                     name + ", modo " + mode + ")"};
}

std::string describe(const Finding &finding)
{
    const std::string detail = finding.detail.empty() ? std::string() : " (" + finding.detail + ')';
    switch (finding.state) {
    case State::Free:
        return "livre";
    case State::Missing:
        return "dispositivo ausente";
    case State::Busy:
        return "em uso por outro programa" + detail;
    case State::NoPermission:
        return "sem permissão; " + finding.detail;
    case State::NotSerial:
        return "não é uma porta serial em funcionamento" + detail;
    case State::LeftExclusive:
        return "em modo exclusivo (TIOCEXCL), sem processo deste usuário que a tenha aberta: se "
               "não é de outro usuário, quem a usava terminou sem desfazê-lo, e o pseudo-terminal "
               "o guarda até ser fechado; reinicie o programa que o criou, ou rode o comutel uma "
               "vez como root, que o desfaz";
    }
    return {};
}

} // namespace portcheck

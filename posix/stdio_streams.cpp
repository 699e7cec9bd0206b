#include "posix/stdio_streams.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

// One blocking write, shared between the worker that does it and the caller that may stop
// waiting for it.
struct Delivery
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
};

void writeAll(int fd, const std::string &bytes)
{
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t count = ::write(fd, bytes.data() + sent, bytes.size() - sent);
        if (count < 0 && errno != EINTR)
            return; // EPIPE, EBADF...: a stream that is gone takes nothing
        sent += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
}

} // namespace

struct StdioStreams::Stream
{
    int fd;
    bool stalled = false; // a write of ours may still be blocked there: never add another
};

StdioStreams::StdioStreams(int outFd, int errFd, std::chrono::milliseconds longestWait)
    : m_out(std::make_unique<Stream>(Stream{outFd})),
      m_err(std::make_unique<Stream>(Stream{errFd})), m_deadline(longestWait)
{
}

StdioStreams::~StdioStreams() = default;

void StdioStreams::writeOut(const std::string &bytes)
{
    write(*m_out, bytes);
}

void StdioStreams::writeErr(const std::string &bytes)
{
    write(*m_err, bytes);
}

void StdioStreams::write(Stream &stream, const std::string &bytes)
{
    if (stream.stalled || bytes.empty() || ::fcntl(stream.fd, F_GETFD) < 0)
        return; // a closed stream costs nothing, not even a thread
    const auto until = m_deadline.next();
    auto delivery = std::make_shared<Delivery>();
    try {
        std::thread([delivery, fd = stream.fd, bytes] {
            writeAll(fd, bytes);
            const std::lock_guard<std::mutex> lock(delivery->mutex);
            delivery->finished = true;
            delivery->done.notify_one();
        }).detach();
    } catch (const std::system_error &) {
        return; // no thread to be had: dropped, as the stream could hold us up
    }
    std::unique_lock<std::mutex> lock(delivery->mutex);
    stream.stalled = !delivery->done.wait_until(lock, until, [&] { return delivery->finished; });
}

void StdioStreams::keepStandardStreamsOpen()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF && ::open("/dev/null", O_RDWR) != fd)
            return;
    }
}

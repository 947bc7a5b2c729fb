#include "InterruptedFifo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace TrelvoTest {
namespace {

constexpr int kSignal = SIGUSR1;
constexpr int kIntervalMilliseconds = 20;
// After this many signals the writer gives up and closes its end, so a reader
// that retries interrupted reads sees the end of the file instead of hanging.
constexpr int kMaxSignals = 500;

extern "C" void _Interrupt(int) {}

}  // namespace

InterruptedFifo::InterruptedFifo(const std::string& path, std::string content)
    : m_path(path), m_content(std::move(content)), m_reader(pthread_self()) {
    if (mkfifo(m_path.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo(" << m_path << ") failed";
    struct sigaction action {};
    action.sa_handler = _Interrupt;  // no SA_RESTART: a blocked read returns EINTR
    sigemptyset(&action.sa_mask);
    sigaction(kSignal, &action, &m_savedAction);
    m_writer = std::thread([this] { _Feed(); });
}

InterruptedFifo::~InterruptedFifo() {
    m_stopping = true;
    // Releases a writer still waiting in open for a reader that never came.
    const int releaser = open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
    m_writer.join();
    if (releaser >= 0) close(releaser);
    sigaction(kSignal, &m_savedAction, nullptr);
}

void InterruptedFifo::_Feed() {
    const int fd = open(m_path.c_str(), O_WRONLY);  // waits for the reader
    if (fd < 0) return;
    if (write(fd, m_content.data(), m_content.size()) != static_cast<ssize_t>(m_content.size())) {
        ADD_FAILURE() << "short write to " << m_path;
    }
    // The write end reports POLLERR once the reader has closed the FIFO.
    pollfd writeEnd{fd, 0, 0};
    for (int sent = 0; sent < kMaxSignals && !m_stopping; ++sent) {
        if (poll(&writeEnd, 1, kIntervalMilliseconds) != 0) break;
        pthread_kill(m_reader, kSignal);
    }
    close(fd);
}

}  // namespace TrelvoTest

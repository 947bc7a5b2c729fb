// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "InterruptedFifo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

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

InterruptedFifo::InterruptedFifo(const std::string& path, const std::string& content)
    : m_reader(pthread_self()) {
    if (mkfifo(path.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo(" << path << ") failed";
    // A reader of our own lets the write end open at once. The FIFO so has its
    // writer before the reader under test opens it (a FIFO without one reads
    // as empty), and holds the content until that reader takes it.
    m_keeper = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    m_writeEnd = open(path.c_str(), O_WRONLY);
    const auto size = static_cast<ssize_t>(content.size());
    if (m_writeEnd < 0 || write(m_writeEnd, content.data(), content.size()) != size) {
        ADD_FAILURE() << "cannot write the content to " << path;
    }
    struct sigaction action {};
    action.sa_handler = _Interrupt;  // no SA_RESTART: a blocked read returns EINTR
    sigemptyset(&action.sa_mask);
    sigaction(kSignal, &action, &m_savedAction);
    m_writer = std::thread([this] { _Feed(); });
}

InterruptedFifo::~InterruptedFifo() {
    m_stopping = true;
    m_writer.join();
    sigaction(kSignal, &m_savedAction, nullptr);
}

void InterruptedFifo::_Feed() {
    // Once the reader under test has taken all the content, it holds the FIFO
    // open itself and waits for more.
    int pending = 1;
    while (!m_stopping && ioctl(m_writeEnd, FIONREAD, &pending) == 0 && pending > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    close(m_keeper);
    // The write end reports POLLERR once the reader has closed the FIFO.
    pollfd writeEnd{m_writeEnd, 0, 0};
    for (int sent = 0; sent < kMaxSignals && !m_stopping; ++sent) {
        if (poll(&writeEnd, 1, kIntervalMilliseconds) != 0) break;
        pthread_kill(m_reader, kSignal);
    }
    close(m_writeEnd);
}

}  // namespace TrelvoTest

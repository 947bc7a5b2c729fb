// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// A read failure part-way through a file, from real system calls: a FIFO
// that hands its reader some content and then stalls, while the thread that
// made the object is sent a signal whose handler does not restart system
// calls. The reader's first read after the content thus fails with EINTR.
// Read the FIFO on the thread that constructs the object.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <string>
#include <thread>

#include "TestSupport.h"

namespace TrelvoTest {

class InterruptedFifo : NonCopyable {
public:
    // Creates the FIFO at path, its writer already attached and the content,
    // which must not be empty, waiting in it for the reader.
    InterruptedFifo(const std::string& path, const std::string& content);
    ~InterruptedFifo();

private:
    void _Feed();

    const pthread_t m_reader;
    struct sigaction m_savedAction {};
    int m_keeper = -1;
    int m_writeEnd = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_writer;
};

}  // namespace TrelvoTest

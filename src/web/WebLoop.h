#pragma once

#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace bolaris {

// The serving thread's loop: the listening socket and every client's socket
// in one epoll set, woken for work posted from other threads and for a
// regular tick. A wake costs what is ready, however many clients are
// connected, and turning a socket's reading or writing on or off is one
// system call: Qt's default dispatcher polls every socket at each wake and
// searches a list of them at each change, which a hall full of phones turns
// into the square of their number.
class WebLoop {
public:
    // What a socket's readiness is told to.
    class Watcher {
    public:
        // events: epoll's (EPOLLIN, EPOLLOUT, EPOLLERR, EPOLLHUP).
        virtual void ready(std::uint32_t events) = 0;

    protected:
        ~Watcher() = default;
    };

    WebLoop();
    ~WebLoop();
    WebLoop(const WebLoop &) = delete;
    WebLoop &operator=(const WebLoop &) = delete;

    // False when the system gave no epoll set or wake-up.
    bool valid() const { return m_epoll >= 0 && m_wake >= 0; }

    // Watches fd for reading and/or writing (errors and hang-ups always);
    // add once, then change, and forget before the descriptor is closed.
    bool add(int fd, Watcher *watcher, bool read, bool write);
    void change(int fd, Watcher *watcher, bool read, bool write);
    void forget(int fd);

    // Runs task in the loop's thread once the events at hand are handled
    // (never in the middle of them); from any thread.
    void post(std::function<void()> task);
    // Handles events and posted work until quit(), and tick every tickMs.
    void run(int tickMs, const std::function<void()> &tick);
    // From the loop's thread: run() returns once the work posted so far is done.
    void quit() { m_quit = true; }

    // The clock of the tick and of the connections' time limits (milliseconds).
    static qint64 clock();

private:
    bool runPosted();

    int m_epoll = -1;
    int m_wake = -1;
    bool m_quit = false;
    std::mutex m_mutex;
    std::vector<std::function<void()>> m_posted;
};

} // namespace bolaris

#include "WebLoop.h"

#include <algorithm>
#include <array>
#include <chrono>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace bolaris {

namespace {

std::uint32_t interest(bool read, bool write) { return (read ? EPOLLIN : 0u) | (write ? EPOLLOUT : 0u); }

} // namespace

qint64 WebLoop::clock()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

WebLoop::WebLoop() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.ptr = nullptr; // the one event without a watcher
    if (valid() && ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &wake) != 0) {
        ::close(m_wake);
        m_wake = -1;
    }
}

WebLoop::~WebLoop()
{
    if (m_wake >= 0)
        ::close(m_wake);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

bool WebLoop::add(int fd, Watcher *watcher, bool read, bool write)
{
    epoll_event e{};
    e.events = interest(read, write);
    e.data.ptr = watcher;
    return ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &e) == 0;
}

void WebLoop::change(int fd, Watcher *watcher, bool read, bool write)
{
    epoll_event e{};
    e.events = interest(read, write);
    e.data.ptr = watcher;
    ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &e);
}

void WebLoop::forget(int fd) { ::epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr); }

void WebLoop::post(std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_posted.push_back(std::move(task));
    }
    ::eventfd_write(m_wake, 1);
}

bool WebLoop::runPosted()
{
    eventfd_t count;
    ::eventfd_read(m_wake, &count);
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard lock(m_mutex);
        tasks.swap(m_posted);
    }
    for (const auto &task : tasks)
        task();
    return !tasks.empty();
}

void WebLoop::run(int tickMs, const std::function<void()> &tick)
{
    std::array<epoll_event, 256> events;
    qint64 next = clock() + tickMs;
    while (!m_quit) {
        const qint64 wait = std::max<qint64>(0, next - clock());
        const int n = ::epoll_wait(m_epoll, events.data(), int(events.size()), int(wait));
        bool woken = false;
        for (int i = 0; i < n; ++i) {
            if (auto *watcher = static_cast<Watcher *>(events[size_t(i)].data.ptr))
                watcher->ready(events[size_t(i)].events);
            else
                woken = true;
        }
        // Posted work (the deletion of a connection that ended among these
        // events included) waits until every event of the batch is handled.
        if (woken)
            runPosted();
        const qint64 now = clock();
        if (now >= next) {
            tick();
            next = now + tickMs;
        }
    }
    while (runPosted()) {
    }
}

} // namespace bolaris

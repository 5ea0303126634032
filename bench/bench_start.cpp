// Start-up to the main window: the program, with a full registry, against a
// minimal Qt Widgets window, each launched on the same X server and timed
// from the launch until its first top-level window is mapped. The X server
// is $DISPLAY, or an Xvfb of the benchmark's own on the first free display
// from :50 on.

#include "BenchMain.h"
#include "report/Fonts.h"

#include <QDir>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace bolaris;

namespace {

using Clock = std::chrono::steady_clock;

// Starts program in dir with env, its output into log; 0 when it cannot start.
pid_t launch(const std::string &program, const std::vector<std::string> &args, const std::string &dir,
             const std::vector<std::string> &env, const std::string &log)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed ? 0 : pid;
}

// The X server, watched for windows being mapped and destroyed.
class XServer {
public:
    static XServer &get()
    {
        static XServer server;
        return server;
    }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;
    ~XServer()
    {
        if (m_conn)
            xcb_disconnect(m_conn);
        if (m_xvfb) {
            kill(m_xvfb, SIGTERM);
            waitpid(m_xvfb, nullptr, 0);
        }
    }

    bool ok() const { return m_conn && !xcb_connection_has_error(m_conn); }
    const std::string &display() const { return m_display; }

    // The first top-level window of process pid mapped before the deadline, or 0.
    xcb_window_t waitForMap(pid_t pid, Clock::time_point deadline)
    {
        while (const auto event = next(deadline)) {
            if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY)
                continue;
            const auto *map = reinterpret_cast<const xcb_map_notify_event_t *>(event.get());
            if (!map->override_redirect && pidOf(map->window) == pid)
                return map->window;
        }
        return 0;
    }
    // Returns once window is destroyed (its program gone), or at the deadline.
    void waitForDestroy(xcb_window_t window, Clock::time_point deadline)
    {
        while (const auto event = next(deadline))
            if ((event->response_type & 0x7F) == XCB_DESTROY_NOTIFY &&
                reinterpret_cast<const xcb_destroy_notify_event_t *>(event.get())->window == window)
                return;
    }

private:
    XServer()
    {
        if (const char *display = std::getenv("DISPLAY"); display && *display) {
            m_display = display;
            connect();
        } else {
            startXvfb();
        }
        if (!ok())
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        m_root = screen->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
        const char name[] = "_NET_WM_PID";
        xcb_intern_atom_reply_t *atom =
            xcb_intern_atom_reply(m_conn, xcb_intern_atom(m_conn, 0, sizeof name - 1, name), nullptr);
        if (atom)
            m_pidAtom = atom->atom;
        std::free(atom);
        xcb_flush(m_conn);
    }

    bool connect()
    {
        if (m_conn)
            xcb_disconnect(m_conn);
        m_conn = xcb_connect(m_display.c_str(), nullptr);
        return ok();
    }

    // An Xvfb on the first display from :50 on that no server holds.
    void startXvfb()
    {
        for (int n = 50; n < 100; ++n) {
            struct stat st;
            const std::string number = std::to_string(n);
            if (stat(("/tmp/.X" + number + "-lock").c_str(), &st) == 0 ||
                stat(("/tmp/.X11-unix/X" + number).c_str(), &st) == 0)
                continue;
            m_display = ":" + number;
            std::vector<std::string> env;
            for (char **e = environ; *e; ++e)
                env.emplace_back(*e);
            m_xvfb = launch("/usr/bin/Xvfb", {m_display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {},
                            env, "/dev/null");
            for (int tries = 0; m_xvfb && tries < 200; ++tries) {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
                if (waitpid(m_xvfb, nullptr, WNOHANG) == m_xvfb) {
                    m_xvfb = 0; // it lost the display to another server
                    break;
                }
                if (connect())
                    return;
            }
            if (m_xvfb) {
                kill(m_xvfb, SIGTERM);
                waitpid(m_xvfb, nullptr, 0);
                m_xvfb = 0;
            }
        }
    }

    struct Free {
        void operator()(void *p) const { std::free(p); }
    };
    using Event = std::unique_ptr<xcb_generic_event_t, Free>;

    Event next(Clock::time_point deadline)
    {
        for (;;) {
            if (xcb_generic_event_t *event = xcb_poll_for_event(m_conn))
                return Event(event);
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0 || !ok())
                return nullptr;
            pollfd fd{xcb_get_file_descriptor(m_conn), POLLIN, 0};
            poll(&fd, 1, int(left.count()) + 1);
        }
    }

    pid_t pidOf(xcb_window_t window)
    {
        xcb_get_property_reply_t *reply = xcb_get_property_reply(
            m_conn, xcb_get_property(m_conn, 0, window, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = 0;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = pid_t(*static_cast<const std::uint32_t *>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }

    xcb_connection_t *m_conn = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
    pid_t m_xvfb = 0;
    std::string m_display;
};

// A working folder, a home and a runtime folder of their own; with a full
// registry, the working folder also holds the card file of series B to L and
// every card of the 12 series sold, 2,400 tickets returned.
struct StartFolder {
    QTemporaryDir root;
    QString work = root.filePath(QStringLiteral("work"));
    QString home = root.filePath(QStringLiteral("home"));
    QString runtime = root.filePath(QStringLiteral("runtime"));

    explicit StartFolder(bool fullRegistry)
    {
        QDir().mkpath(work);
        QDir().mkpath(home);
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (fullRegistry)
            fillFullHall(work);
    }

    // The environment of the benchmark's own, on display, with this folder's
    // home and runtime folder, the X platform and the registry in the folder.
    std::vector<std::string> environment(const std::string &display) const
    {
        static const std::vector<std::string> replaced = {"DISPLAY=", "HOME=", "XDG_RUNTIME_DIR=",
                                                          "QT_QPA_PLATFORM=", "BOLARIS_REGISTRY="};
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            const std::string entry(*e);
            bool keep = true;
            for (const std::string &name : replaced)
                keep = keep && entry.rfind(name, 0) != 0;
            if (keep)
                env.push_back(entry);
        }
        env.push_back("DISPLAY=" + display);
        env.push_back("HOME=" + home.toStdString());
        env.push_back("XDG_RUNTIME_DIR=" + runtime.toStdString());
        env.push_back("QT_QPA_PLATFORM=xcb");
        return env;
    }
};

// The most memory process pid has held resident so far, in MB (0 when unknown).
double peakResidentMB(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// Each iteration launches program and stops the clock when its first
// top-level window is mapped; the program is then killed and its windows
// gone before the next launch. rss_MB: the most memory the program has held
// resident when its window is mapped.
void startToWindow(benchmark::State &state, const char *program, bool fullRegistry)
{
    XServer &x = XServer::get();
    if (!x.ok()) {
        state.SkipWithError("no X server: set DISPLAY or install Xvfb");
        return;
    }
    static std::unique_ptr<StartFolder> folders[2];
    std::unique_ptr<StartFolder> &folder = folders[fullRegistry];
    if (!folder)
        folder = std::make_unique<StartFolder>(fullRegistry);
    const std::vector<std::string> env = folder->environment(x.display());
    const std::string log = folder->root.filePath(QStringLiteral("output.txt")).toStdString();
    // A launch before the timed ones: the program's files are read from the disk once.
    if (const pid_t pid = launch(program, {}, folder->work.toStdString(), env, log)) {
        const xcb_window_t window = x.waitForMap(pid, Clock::now() + std::chrono::seconds(30));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        if (window)
            x.waitForDestroy(window, Clock::now() + std::chrono::seconds(10));
    }
    double rss = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const pid_t pid = launch(program, {}, folder->work.toStdString(), env, log);
        const xcb_window_t window = pid ? x.waitForMap(pid, start + std::chrono::seconds(30)) : 0;
        const Clock::time_point mapped = Clock::now();
        if (pid) {
            rss += peakResidentMB(pid);
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (!window) {
            state.SkipWithError(("no window mapped; the program's output: " + log).c_str());
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(mapped - start).count());
        x.waitForDestroy(window, Clock::now() + std::chrono::seconds(10));
    }
    state.counters["rss_MB"] = benchmark::Counter(rss, benchmark::Counter::kAvgIterations);
}

// The program in a working folder with a full registry (24,000 cards sold,
// 2,400 tickets returned) and the card file of series B to L.
void BM_StartToWindow(benchmark::State &state) { startToWindow(state, BOLARIS_PROGRAM, true); }
BENCHMARK(BM_StartToWindow)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// A minimal Qt Widgets window with five buttons.
void BM_StartBareWindow(benchmark::State &state) { startToWindow(state, BOLARIS_BARE_WINDOW, false); }
BENCHMARK(BM_StartBareWindow)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace

BOLARIS_BENCHMARK_MAIN()

// window_ping: starts a program, finds its window on the X display and pings it every 0.1 s
// the way desktops decide that a program is "not responding" (_NET_WM_PING), until every file
// named with --present exists and none named with --absent does; then closes the window and
// prints the wall time and the longest time the window went without answering. The files are
// looked at from this process: a shell started for each look would take the processors from
// the program being timed.
//
//   window_ping --present out/a.mp3 --absent out/.lock -- sonbalancer folder
//
// Output, one "name value" a line: seconds (from the start to the condition), pings, answered,
// longest_wait_seconds (the slowest answer, or the age of a ping left unanswered).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPingInterval = std::chrono::milliseconds(100);
constexpr auto kConditionInterval = std::chrono::milliseconds(50);
constexpr auto kWindowSearchLimit = std::chrono::seconds(30);

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The property's 32-bit items, empty when absent.
std::vector<unsigned long> longProperty(Display* display, Window window, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> items;
  if (XGetWindowProperty(display, window, property, 0, 1024, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) == Success &&
      data != nullptr) {
    if (format == 32) {
      const auto* values = reinterpret_cast<const unsigned long*>(data);
      items.assign(values, values + count);
    }
    XFree(data);
  }
  return items;
}

// A top-level window of process pid, shown, that takes _NET_WM_PING; None when there is none
// yet. The toolkit also keeps hidden windows of its own (the group leader) that take it.
Window findPingableWindow(Display* display, pid_t pid, Atom pidAtom, Atom protocols, Atom ping) {
  Window root = DefaultRootWindow(display);
  Window parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return None;
  Window found = None;
  for (unsigned int index = 0; index < count && found == None; ++index) {
    const std::vector<unsigned long> owner = longProperty(display, children[index], pidAtom);
    if (owner.empty() || owner[0] != static_cast<unsigned long>(pid)) continue;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, children[index], &attributes) ||
        attributes.map_state != IsViewable) {
      continue;
    }
    for (unsigned long protocol : longProperty(display, children[index], protocols)) {
      if (protocol == ping) found = children[index];
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

bool exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> present;
  std::vector<std::string> absent;
  int first = 1;
  for (; first < argc; ++first) {
    if (std::strcmp(argv[first], "--present") == 0 && first + 1 < argc) {
      present.push_back(argv[++first]);
    } else if (std::strcmp(argv[first], "--absent") == 0 && first + 1 < argc) {
      absent.push_back(argv[++first]);
    } else if (std::strcmp(argv[first], "--") == 0) {
      ++first;
      break;
    }
  }
  if (present.empty() || first >= argc) {
    std::fprintf(
        stderr,
        "usage: window_ping --present FILE... [--absent FILE...] -- PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  auto done = [&] {
    for (const std::string& path : present) {
      if (!exists(path)) return false;
    }
    for (const std::string& path : absent) {
      if (exists(path)) return false;
    }
    return true;
  };
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "window_ping: no X display\n");
    return 2;
  }
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
  const Atom ping = XInternAtom(display, "_NET_WM_PING", False);
  const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
  // The answers are sent to the root window.
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XFlush(display);

  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execvp(argv[first], argv + first);
    _exit(127);
  }

  Window window = None;
  while (window == None && Clock::now() - start < kWindowSearchLimit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    window = findPingableWindow(display, child, pidAtom, protocols, ping);
  }
  if (window == None) {
    std::fprintf(stderr, "window_ping: no window of the program takes _NET_WM_PING\n");
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return 1;
  }

  // The job given on the command line starts once the window is up.
  const Clock::time_point shown = Clock::now();
  std::map<unsigned long, Clock::time_point> unanswered;
  unsigned long sent = 0;
  unsigned long answered = 0;
  double longestWait = 0.0;
  Clock::time_point nextPing = Clock::now();
  Clock::time_point nextCondition = Clock::now();
  Clock::time_point end = start;
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= nextPing) {
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = window;
      event.xclient.message_type = protocols;
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(ping);
      // The "timestamp" is only echoed back: a counter tells the pings apart.
      event.xclient.data.l[1] = static_cast<long>(++sent);
      event.xclient.data.l[2] = static_cast<long>(window);
      XSendEvent(display, window, False, NoEventMask, &event);
      XFlush(display);
      unanswered[sent] = now;
      nextPing += kPingInterval;
    }
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type != ClientMessage || event.xclient.message_type != protocols ||
          static_cast<Atom>(event.xclient.data.l[0]) != ping) {
        continue;
      }
      const auto found = unanswered.find(static_cast<unsigned long>(event.xclient.data.l[1]));
      if (found == unanswered.end()) continue;
      longestWait = std::max(longestWait, secondsBetween(found->second, Clock::now()));
      unanswered.erase(found);
      ++answered;
    }
    if (now >= nextCondition) {
      nextCondition += kConditionInterval;
      if (done()) {
        end = Clock::now();
        break;
      }
    }
    // Asleep until an answer comes or the next ping or look is due: a loop that woke every few
    // milliseconds would itself take the processors from the program being timed.
    const auto due = std::min(nextPing, nextCondition) - Clock::now();
    pollfd connection{ConnectionNumber(display), POLLIN, 0};
    if (XPending(display) == 0 && due > Clock::duration::zero()) {
      poll(&connection, 1,
           static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(due).count()));
    }
  }
  for (const auto& [serial, sentAt] : unanswered) {
    longestWait = std::max(longestWait, secondsBetween(sentAt, end));
  }

  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = protocols;
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(deleteWindow);
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &close);
  XFlush(display);
  waitpid(child, nullptr, 0);
  XCloseDisplay(display);

  std::printf(
      "seconds %.2f\nshown_seconds %.2f\npings %lu\nanswered %lu\nlongest_wait_seconds %.3f\n",
      secondsBetween(start, end), secondsBetween(shown, end), sent, answered, longestWait);
  return 0;
}

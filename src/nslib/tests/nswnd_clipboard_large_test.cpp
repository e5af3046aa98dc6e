// Large clipboard texts against other programs: xclip and xsel fill the
// clipboard and read ours, in sizes that pass the size above which X
// clients hand text over in pieces (INCR). While a tool reads, the main
// thread keeps answering, as the program's event loop would.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "base/textconv.h"
#include "x11_driver.h"

using namespace nstest;

namespace {

// About `bytes` of UTF-8 text, with multi-byte characters and numbered
// lines so that a lost or repeated piece shows.
std::string sample(size_t bytes) {
  std::string s;
  for (int i = 0; s.size() < bytes; ++i) s += "Grüße 世界 " + std::to_string(i) + "\n";
  s.resize(bytes);
  while (!s.empty() && (static_cast<unsigned char>(s.back()) & 0xC0) == 0x80) s.pop_back();
  if (!s.empty() && static_cast<unsigned char>(s.back()) >= 0xC0) s.pop_back();
  return s;
}

std::vector<unsigned short> utf16(const std::string& s) {
  _typebuf<unsigned short> units;
  _pc2w(s.data(), static_cast<long long>(s.size()), units);
  return {units.ptr, units.ptr + units.count};
}

// A clipboard tool run with fixed arguments, never through a shell, fed
// `input` and keeping what it prints. A tool that fills the clipboard leaves
// a process behind to serve it, which must hold none of our streams.
struct cTool {
  pid_t pid = -1;
  int in = -1, out = -1, status = -1;
  std::string input, output;
  size_t fed = 0;

  cTool(std::vector<const char*> args, std::string text) : input(std::move(text)) {
    int i[2], o[2];
    if (pipe(i) || pipe(o)) return;
    pid = fork();
    if (pid == 0) {
      dup2(i[0], 0);
      dup2(input.empty() ? o[1] : open("/dev/null", O_WRONLY), 1);
      // The process left behind must not hold the test runner's error
      // stream either, or the runner waits for it long after the test.
      if (!input.empty()) dup2(open("/dev/null", O_WRONLY), 2);
      for (int fd : {i[0], i[1], o[0], o[1]}) close(fd);
      args.push_back(nullptr);
      execvp(args[0], const_cast<char* const*>(args.data()));
      _exit(127);
    }
    close(i[0]);
    close(o[1]);
    in = i[1];
    out = o[0];
    if (input.empty()) stop(in);
  }
  ~cTool() {
    if (status < 0 && pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
    }
    stop(in);
    stop(out);
  }
  static void stop(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
  bool busy() const { return out >= 0 || status < 0; }
  // One turn of feeding and reading, waiting at most a few milliseconds.
  void step() {
    pollfd p[2] = {{out, POLLIN, 0}, {in, POLLOUT, 0}};
    if (poll(p, 2, 2) > 0) {
      if (p[1].revents) {
        ssize_t n = write(in, input.data() + fed, std::min<size_t>(input.size() - fed, 1 << 16));
        fed += n > 0 ? static_cast<size_t>(n) : 0;
        if (n <= 0 || fed == input.size()) stop(in);
      }
      if (p[0].revents) {
        char buf[1 << 16];
        ssize_t n = read(out, buf, sizeof buf);
        if (n > 0) output.append(buf, static_cast<size_t>(n));
        if (n <= 0) stop(out);
      }
    }
    if (status < 0 && pid > 0 && waitpid(pid, &status, WNOHANG) != pid) status = -1;
  }
  bool succeeded() const { return !busy() && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Runs the tools to their end while the clipboard's requests are answered;
// false when one did not end by itself with status 0.
bool runTools(std::initializer_list<cTool*> tools) {
  pumpUntil(
      [&] {
        bool busy = false;
        for (cTool* t : tools) {
          if (t->busy()) t->step();
          busy |= t->busy();
        }
        return !busy;
      },
      std::chrono::seconds(120));
  bool ok = true;
  for (cTool* t : tools) ok &= t->succeeded();
  return ok;
}

// How each tool fills the clipboard and prints it. xsel's server opens its
// log in the home folder and gives up when it cannot, as for a user whose
// home cannot be written: it logs nowhere.
struct sToolCall {
  const char* name;
  std::vector<const char*> fill, print;
};
const sToolCall kTools[] = {
    {"xclip",
     {"xclip", "-selection", "clipboard", "-t", "UTF8_STRING", "-i"},
     {"xclip", "-selection", "clipboard", "-t", "UTF8_STRING", "-o"}},
    {"xsel",
     {"xsel", "--logfile", "/dev/null", "--clipboard", "--input"},
     {"xsel", "--logfile", "/dev/null", "--clipboard", "--output"}},
};
const size_t kSizes[] = {4 << 10, 100 << 10, 10 << 20};

}  // namespace

TEST(ClipboardLarge, TextsOfEverySizeCrossToAndFromOtherPrograms) {
  requireDisplay();
  for (const sToolCall& tool : kTools) {
    for (size_t size : kSizes) {
      SCOPED_TRACE(std::string(tool.name) + " " + std::to_string(size));
      const std::string text = sample(size);
      const std::vector<unsigned short> units = utf16(text);

      nswnd_clip_put(nullptr, 0, nullptr, 0);
      cTool fill(tool.fill, text);
      ASSERT_TRUE(runTools({&fill}));
      _typebuf<unsigned short> in;
      // The tool's server may not own the clipboard yet when its first
      // process ends.
      pumpUntil([&] { return nswnd_clip_text(in) && in.count > 0; }, std::chrono::seconds(20));
      ASSERT_EQ(in.count, static_cast<long long>(units.size()));
      EXPECT_TRUE(std::equal(units.begin(), units.end(), in.ptr));

      ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
      cTool print(tool.print, "");
      EXPECT_TRUE(runTools({&print}));
      EXPECT_EQ(print.output.size(), text.size());
      EXPECT_TRUE(print.output == text);
    }
  }
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}

// Two programs read a large clipboard at the same time; each gets all of it.
TEST(ClipboardLarge, TwoReadersAtOnceGetTheWholeText) {
  requireDisplay();
  const std::string text = sample(10 << 20);
  const std::vector<unsigned short> units = utf16(text);
  ASSERT_TRUE(nswnd_clip_put(units.data(), static_cast<long long>(units.size()), nullptr, 0));
  cTool a(kTools[0].print, ""), b(kTools[1].print, "");
  EXPECT_TRUE(runTools({&a, &b}));
  EXPECT_TRUE(a.output == text);
  EXPECT_TRUE(b.output == text);
  nswnd_clip_put(nullptr, 0, nullptr, 0);
}

// An owner that announces a transfer in pieces and then sends none: the
// paste gives up, empty, instead of hanging the window.
TEST(ClipboardLarge, AnOwnerThatFallsSilentYieldsNothing) {
  requireDisplay();
  std::atomic<bool> owning{false}, asked{false}, stop{false};
  std::thread owner([&] {
    cPeer p;
    Window w = XCreateSimpleWindow(p.d, p.root(), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(p.d, XInternAtom(p.d, "CLIPBOARD", False), w, CurrentTime);
    XSync(p.d, False);
    owning = true;
    XEvent ev;
    while (!stop) {
      if (!XCheckTypedWindowEvent(p.d, w, SelectionRequest, &ev)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      XSelectionRequestEvent& rq = ev.xselectionrequest;
      long size = 1 << 20;
      XChangeProperty(p.d, rq.requestor, rq.property, XInternAtom(p.d, "INCR", False), 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&size), 1);
      XEvent reply{};
      reply.xselection = {SelectionNotify, 0,         True,        p.d,    rq.requestor,
                          rq.selection,    rq.target, rq.property, rq.time};
      XSendEvent(p.d, rq.requestor, False, NoEventMask, &reply);
      XFlush(p.d);
      asked = true;
    }
  });
  while (!owning) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  _typebuf<unsigned short> text;
  EXPECT_TRUE(nswnd_clip_text(text));
  EXPECT_TRUE(asked.load());
  EXPECT_EQ(text.count, 0);
  stop = true;
  owner.join();
}

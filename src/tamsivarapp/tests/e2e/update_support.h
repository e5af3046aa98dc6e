// The local update server of the end-to-end tests (update_server.py), and
// the way a user answers a box that sits on a form's own window.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/xuser.h"
#include "support/runprog.h"

namespace e2e {

// The server of update_server.py, answering from files in its folder.
class cUpdateServer {
 public:
  explicit cUpdateServer(const std::string& root) : myRoot(root) {
    int out[2];
    if (pipe(out) != 0) return;
    myPid = fork();
    if (myPid == 0) {
      dup2(out[1], 1);
      ::close(out[0]);
      execlp("python3", "python3", ZVK_SOURCE_DIR "/src/tamsivarapp/tests/e2e/update_server.py", root.c_str(),
             nullptr);
      _exit(127);
    }
    ::close(out[1]);
    char line[32] = {};
    for (size_t n = 0; n + 1 < sizeof line && read(out[0], line + n, 1) == 1 && line[n] != '\n';) ++n;
    ::close(out[0]);
    port = std::atoi(line);
  }
  ~cUpdateServer() {
    if (myPid > 0) {
      kill(myPid, SIGTERM);
      waitpid(myPid, nullptr, 0);
    }
  }
  std::string prefix() const {
    return "http://127.0.0.1:" + std::to_string(port) + "/autocheck.php?softwareid=";
  }
  std::string log() const { return readFileBytes(myRoot + "/log"); }
  void reply(const std::string& id, const std::string& body) const {
    std::ofstream(myRoot + "/reply-" + id, std::ios::binary) << body;
  }
  int port = 0;

 private:
  std::string myRoot;
  pid_t myPid = -1;
};

// A server that takes every connection and never says a word, as a hung
// update server does.
class cSilentServer {
 public:
  cSilentServer() {
    myFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof at;
    if (myFd < 0 || ::bind(myFd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 || ::listen(myFd, 64) != 0 ||
        ::getsockname(myFd, reinterpret_cast<sockaddr*>(&at), &length) != 0)
      return;
    port = ntohs(at.sin_port);
    myThread = std::thread([this] {
      // Ends when the listening socket is shut down.
      for (int c; (c = ::accept(myFd, nullptr, nullptr)) >= 0; ++accepted) myHeld.push_back(c);
    });
  }
  ~cSilentServer() {
    ::shutdown(myFd, SHUT_RDWR);
    if (myThread.joinable()) myThread.join();
    for (int c : myHeld) ::close(c);
    if (myFd >= 0) ::close(myFd);
  }
  std::string prefix() const {
    return "http://127.0.0.1:" + std::to_string(port) + "/autocheck.php?softwareid=";
  }
  int port = 0;
  std::atomic<int> accepted{0};

 private:
  int myFd = -1;
  std::thread myThread;
  std::vector<int> myHeld;
};

// A box is a window of its own over its form, and the form takes the box's
// caption meanwhile: the box is the window with that caption that is not
// the form. Types the key in it and waits until it goes; false when none
// appears or it stays, within kPatience each.
inline bool answerBox(const std::string& form, const std::string& caption, const std::string& key) {
  std::string box;
  waitUntil([&] {
    for (const std::string& id : windowsCaptioned(caption))
      if (id != form) box = id;
    return !box.empty();
  });
  // Typed once it has the focus: a key sent to a box that closes on it
  // stays down and repeats into the box that follows.
  return !box.empty() && typeToClose(box, key);
}

}  // namespace e2e

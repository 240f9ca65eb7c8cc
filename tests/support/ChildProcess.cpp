#include "support/ChildProcess.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

namespace vocara::test {

namespace {

ChildResult RunInChild(const std::function<void()>& prepare,
                       const std::function<std::string(int& exitCode)>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    prepare();
    int exitCode = 0;
    const std::string text = body(exitCode);
    std::size_t sent = 0;
    while (sent < text.size()) {
      const ssize_t n = ::write(fds[1], text.data() + sent, text.size() - sent);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    ::_exit(exitCode);
  }
  ::close(fds[1]);
  ChildResult result;
  char buffer[4096];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
    result.output.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.exitCode = WEXITSTATUS(status);
  return result;
}

}  // namespace

ChildResult RunWithFileSizeLimit(std::uint64_t fileSizeLimit,
                                 const std::function<std::string(int& exitCode)>& body) {
  return RunInChild(
      [fileSizeLimit] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      },
      body);
}

ChildResult RunAsUser(const std::function<std::string(int& exitCode)>& body) {
  return RunInChild(
      [] {
        constexpr uid_t Nobody = 65534;
        if (::geteuid() == 0 && (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0)) ::_exit(126);
      },
      body);
}

int StartProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& errorFile) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // A signal sent the moment the process starts waits for the program, not for this copy of
    // the test: the program takes the stop signals as its first act.
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    ::sigprocmask(SIG_BLOCK, &stops, nullptr);
    std::freopen("/dev/null", "w", stdout);
    std::freopen(errorFile.c_str(), "w", stderr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

int WaitForProcess(int pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

int TemporaryFileCount(const std::string& folder) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".") && name.find(".vocara-") != std::string::npos) ++count;
  }
  return count;
}

}  // namespace vocara::test

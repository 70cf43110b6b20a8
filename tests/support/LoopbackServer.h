// The loopback servers of the tests and benchmarks: Listener, the core they
// share, and LoopbackServer, a scripted TCP server on 127.0.0.1 (see
// HttpTestServer.h for the HTTP one).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A socket listening on address:port (port 0: an ephemeral one) that serves
// every accepted connection on a thread of its own: serve(fd, index), index
// counted from 0 in accept order; the listener closes fd when serve returns.
// Without serve it never accepts and its queue is filled: a connect to it gets
// no answer to its handshake and waits. SIGPIPE is ignored from the first
// listener on.
//
// The destructor shuts the listener and every open connection down, which
// wakes any blocked read or write, and joins the threads; an owner declares
// its Listener last, so that it goes first.
class Listener {
 public:
  using Serve = std::function<void(int fd, int index)>;
  Listener(const std::string& address, int port, Serve serve);
  ~Listener();

  int Port() const { return m_nPort; }  // 0 when the listener could not be started
  int Accepted() const { return m_nAccepted; }
  int MaxOpen() const { return m_nMaxOpen; }  // the most connections open at once

 private:
  Serve m_serve;
  int m_nListen = -1;
  int m_nPort = 0;
  int m_nFiller = -1;  // the connection that fills the queue of a listener that never accepts
  std::mutex m_mutex;
  bool m_bStop = false;
  std::vector<std::thread> m_threads;
  std::vector<int> m_fds;  // connections open now
  std::atomic<int> m_nAccepted{0};
  std::atomic<int> m_nMaxOpen{0};
  std::thread m_acceptThread;
};

// LoopbackServer: every accepted connection follows a Script:
//   1. read what the client sends until "\r\n\r\n", until the client closes,
//      or for 300 ms, and record those bytes;
//   2. send the reply segments in order, pausing delayMs before each
//      segment after the first;
//   3. when endless, send 64 KB blocks again and again until the client
//      closes or the server is destroyed;
//   4. close the connection, or hold it open until the client leaves (see
//      WaitForEnding) or the server is destroyed.
//
//   LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
//   ... connect to 127.0.0.1:server.Port() ...
//   EXPECT_EQ(server.Requests()[0], "GET / HTTP/1.0\r\n\r\n");
//
// Threading: the accessors may be called from any thread. The destructor
// closes every connection (held ones included) and joins its threads.
class LoopbackServer {
 public:
  struct Script {
    std::vector<std::string> reply{};  // one send() per segment
    int delayMs = 0;                   // pause before every segment but the first
    bool hold = false;                 // after the reply, hold the connection instead of closing
    bool endless = false;              // after the reply, a body without end
    // When set, gives the reply (one segment) from the bytes received; used
    // instead of reply. Runs on the connection's thread.
    std::function<std::string(const std::string& request)> replyFor{};
  };

  // The common scripts.
  static Script Reply(std::string b) { return {.reply = {std::move(b)}}; }
  // Reply, then keep the connection open.
  static Script ReplyAndHold(std::string b) { return {.reply = {std::move(b)}, .hold = true}; }
  static Script CloseWithoutReply() { return {}; }          // read the request, then close
  static Script NeverAnswer() { return ReplyAndHold(""); }  // read the request, hold silently
  // Reply, then a body without end.
  static Script ReplyAndStream(std::string b) { return {.reply = {std::move(b)}, .endless = true}; }

  // A server that never accepts (see Listener).
  static LoopbackServer NeverAccepting() { return LoopbackServer(nullptr); }

  // Every connection follows the same script.
  explicit LoopbackServer(Script script);
  // Connection i (counted from 0 in accept order) follows scriptFor(i).
  explicit LoopbackServer(std::function<Script(int index)> scriptFor);

  // The listening port; 0 when the server could not be started.
  int Port() const { return m_listener.Port(); }
  // The port as text, as links and Connect take it.
  std::string PortText() const { return std::to_string(Port()); }
  // "http://127.0.0.1:port" + path.
  std::string Url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + PortText() + path;
  }

  // The bytes each connection sent before the reply, in accept order (a
  // connection still reading has an empty entry, or none when it is the last).
  std::vector<std::string> Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
  }

  // How the client left held connection index (counted from 0): "closed"
  // (an orderly close), "reset" (closed with data it never read) or "error";
  // "" when it has not left within timeoutMs.
  std::string WaitForEnding(int index, int timeoutMs) const;

  // A port on 127.0.0.1 that nothing listens on (bound, looked up, closed).
  static int UnusedPort() { return Listener("127.0.0.1", 0, nullptr).Port(); }

 private:
  void Serve(int fd, int index);

  std::function<Script(int)> m_scriptFor;
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_ended;
  std::vector<std::string> m_requests;
  std::map<int, std::string> m_endings;  // of the held connections that have ended
  Listener m_listener;                   // last: it stops first
};

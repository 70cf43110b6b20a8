// LoopbackServer: a scripted TCP server on 127.0.0.1 for tests.
//
// It listens on an ephemeral port and serves every accepted connection on its
// own thread, following a Script:
//   1. send the greeting at once, if there is one (an ftp server's hello);
//   2. read what the client sends until "\r\n\r\n", until the client closes,
//      or for 300 ms, and record those bytes;
//   3. send the reply segments in order, pausing delayMs before each
//      segment after the first;
//   4. when endless, send 64 KB blocks again and again until the client
//      closes or stops reading for 2 s, or the server is destroyed;
//   5. close the connection, or hold it open until the client leaves (see
//      WaitForEnding) or the server is destroyed.
//
//   LoopbackServer server(LoopbackServer::Reply("HTTP/1.0 200 OK\r\n\r\n"));
//   ... connect to 127.0.0.1:server.Port() ...
//   EXPECT_EQ(server.Requests()[0], "GET / HTTP/1.0\r\n\r\n");
//
// Threading: the accessors may be called from any thread. The destructor
// stops the server, closes every connection (held ones included) and joins
// its threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LoopbackServer {
 public:
  struct Script {
    std::string greeting{};            // sent as soon as the connection is accepted
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
  static Script ReplyInSegments(std::vector<std::string> s, int ms) {
    return {.reply = s, .delayMs = ms};
  }
  // Reply, then keep the connection open.
  static Script ReplyAndHold(std::string b) { return {.reply = {std::move(b)}, .hold = true}; }
  static Script CloseWithoutReply() { return {}; }          // read the request, then close
  static Script NeverAnswer() { return ReplyAndHold(""); }  // read the request, hold silently
  // ftp-like: greet at once, then close.
  static Script Greet(std::string hello) { return {.greeting = std::move(hello)}; }
  // Reply, then a body without end.
  static Script ReplyAndStream(std::string b) { return {.reply = {std::move(b)}, .endless = true}; }

  // A server that never accepts, its queue filled: a connect to it gets no
  // answer to its handshake and waits.
  static LoopbackServer NeverAccepting() { return LoopbackServer(nullptr); }

  // Every connection follows the same script.
  explicit LoopbackServer(Script script);
  // Connection i (counted from 0 in accept order) follows scriptFor(i).
  explicit LoopbackServer(std::function<Script(int index)> scriptFor);
  ~LoopbackServer();  // not copied: it holds threads

  // The listening port; 0 when the server could not be started.
  int Port() const { return m_nPort; }
  // The port as text, as links and Connect take it.
  std::string PortText() const { return std::to_string(m_nPort); }

  int ConnectionCount() const { return static_cast<int>(Requests().size()); }
  // The bytes each finished connection sent before the reply, in accept
  // order (a connection still reading has an empty entry).
  std::vector<std::string> Requests() const;
  // Waits until at least n connections have had their request recorded;
  // false when timeoutMs passed first.
  bool WaitForRequests(int n, int timeoutMs) const;

  // How the client left held connection index (counted from 0): "closed"
  // (an orderly close), "reset" (closed with data it never read) or "error";
  // "" when it has not left within timeoutMs.
  std::string WaitForEnding(int index, int timeoutMs) const;

  // A port on 127.0.0.1 that nothing listens on (bound, looked up, closed).
  static int UnusedPort();

 private:
  void Serve(int fd, size_t index);

  std::function<Script(int)> m_scriptFor;
  int m_nListen = -1;
  int m_nPort = 0;
  int m_nFiller = -1;  // the connection that fills the queue of a server that never accepts
  std::atomic<bool> m_bStop{false};  // checked between waits of at most 300 ms (a send: 2 s)
  std::thread m_acceptThread;

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_recorded;
  std::vector<std::thread> m_connThreads;
  std::vector<std::string> m_requests;
  std::vector<std::string> m_endings;
  int m_nRecorded = 0;
};

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
// winsock2.h first: windows.h alone brings the old winsock.h.
#include <windows.h>
#else
#include <cerrno>
#endif
#include <chrono>
#include <string>
#include <thread>

#include "net/SocketApi.h"
#include "net/TcpClient.h"
#include "support/LoopbackPorts.h"
#include "support/ScriptedPeer.h"

namespace pelvar::net {
namespace {

using namespace std::chrono_literals;
using testing::PeerConnection;
using testing::ScriptedPeer;
using testing::SilentListener;

using testing::kAddressNotAvailable;
using testing::kBrokenPipe;
using testing::kInvalidArgument;
using testing::kRefused;
using testing::kReset;
using testing::SocketMessage;

// Wine reports a connection reset by the peer to a receive as an orderly
// close (Windows itself reports the reset).
bool ResetsLookOrderly() {
#ifdef _WIN32
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

// The CommError message of a call, or "" when it did not fail.
template <typename Call>
std::string CommMessage(Call&& call) {
  try {
    call();
  } catch (const CommError& error) {
    return error.what();
  }
  return "";
}

TEST(TcpClient, ConnectFailuresAndTheirMessages) {
  TcpClient client;
  int pumps = 0;
  client.SetPump([&] { ++pumps; });

  EXPECT_EQ(CommMessage([&] { client.Connect("127.0.0.1", testing::ClosedLoopbackPort()); }),
            SocketMessage(kRefused, "Connection refused."));
  EXPECT_GE(pumps, 1);  // even a refused connect waits one slice, pumping
  EXPECT_FALSE(client.Connected());

  // A name that cannot be put into a DNS query (a label over 63 bytes): the
  // lookup fails on this machine, without sending anything.
  EXPECT_EQ(CommMessage([&] { client.Connect(std::string(70, 'x') + ".invalid", 80); }),
            "Socket Error # 11001\r\nHost not found.");
  EXPECT_EQ(CommMessage([&] { client.Connect("0.0.0.0", 80); }),
            SocketMessage(kAddressNotAvailable, "Cannot assign requested address."));
  EXPECT_EQ(CommMessage([&] { client.Connect("127.0.0.1", 65536); }),
            SocketMessage(kInvalidArgument, "Invalid argument."));
  EXPECT_FALSE(client.Connected());

  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }), "Not Connected");
  EXPECT_EQ(CommMessage([&] { client.Write("x"); }), "Not Connected");

  // "LOCALHOST" in any case means 127.0.0.1; a second connect is refused and
  // leaves the first one working.
  ScriptedPeer peer([](PeerConnection& c) { c.SendLine(c.ReadLine() + "!\n"); });
  client.Connect("LocalHost", peer.Port());
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(CommMessage([&] { client.Connect("127.0.0.1", peer.Port()); }), "Already connected.");
  client.Write("ping\r\n");
  EXPECT_EQ(client.ReadLine(), "ping!");
  client.Disconnect();
  EXPECT_FALSE(client.Connected());
  client.Disconnect();
  EXPECT_EQ(peer.AcceptedCount(), 1);
}

TEST(TcpClient, UnansweredConnectTimesOutAndPumpCanCancelIt) {
  SilentListener silent;
  TcpClient client;
  client.SetConnectTiming(400ms, 50ms);
  int pumps = 0;
  client.SetPump([&] { ++pumps; });
  EXPECT_EQ(CommMessage([&] { client.Connect("127.0.0.1", silent.Port()); }), "Connect timed out.");
#ifdef _WIN32
  EXPECT_GE(pumps, 4);  // Wine's waits overrun their 50 ms by up to half
#else
  EXPECT_GE(pumps, 8);  // the window was served every slice meanwhile
#endif
  EXPECT_FALSE(client.Connected());

  // A close from the pump ends the connect; the client is clean afterwards.
  ScriptedPeer peer([](PeerConnection& c) { c.SendLine("hello\r\n"); });
  client.SetConnectTiming(10s, 50ms);
  pumps = 0;
  client.SetPump([&] {
    ++pumps;
    EXPECT_TRUE(client.Connected());  // a connecting client counts as connected
    if (pumps == 3)
      client.Disconnect();
  });
  EXPECT_EQ(CommMessage([&] { client.Connect("127.0.0.1", silent.Port()); }),
            "Connection Closed Gracefully.");
  EXPECT_EQ(pumps, 3);
  EXPECT_FALSE(client.Connected());

  // Disconnect and a new connect from the pump: the waiting connect fails and
  // leaves the new connection alone.
  pumps = 0;
  client.SetPump([&] {
    if (++pumps == 2) {
      client.Disconnect();
      client.SetPump(nullptr);
      client.Connect("127.0.0.1", peer.Port());
    }
  });
  EXPECT_EQ(CommMessage([&] { client.Connect("127.0.0.1", silent.Port()); }),
            "Connection Closed Gracefully.");
  EXPECT_TRUE(client.Connected());
  EXPECT_EQ(client.ReadLine(), "hello");
}

TEST(TcpClient, ReadsLinesAcrossSegmentsUpToTheCap) {
  const std::string full(16384, 'x');
  ScriptedPeer peer([&](PeerConnection& c) {
    c.Send("first\r\nsecond\nthi");  // one segment, two lines and a half
    c.ReadLine();
    c.Send("rd\r\n" + full + "\r\n");
    c.ReadLine();
    c.Send(full + "x\n");
    c.WaitForClientClose();
  });
  TcpClient client;
  client.Connect("127.0.0.1", peer.Port());
  EXPECT_EQ(client.ReadLine(), "first");
  EXPECT_EQ(client.ReadLine(), "second");
  client.Write("go\r\n");
  EXPECT_EQ(client.ReadLine(), "third");
  // 16383 bytes and a CR is fine; 16384 and a CR is over the cap.
  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }), "Max line length exceeded.");
  client.Disconnect();

  peer.SetScript([&](PeerConnection& c) {
    c.Send(full.substr(1) + "\r\n" + full + "\n");
    c.ReadLine();
    c.Send(full + "y\n");
    c.WaitForClientClose();
  });
  client.Connect("127.0.0.1", peer.Port());
  EXPECT_EQ(client.ReadLine(), full.substr(1));
  EXPECT_EQ(client.ReadLine(), full);
  client.Write("more\r\n");
  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }), "Max line length exceeded.");
  client.Disconnect();
  EXPECT_TRUE(peer.WaitForScripts(2));
  EXPECT_EQ(peer.Received(), "go\r\nmore\r\n");
}

TEST(TcpClient, ClosesResetsAndLocalCloseDuringARead) {
  ScriptedPeer peer([](PeerConnection& c) {
    switch (c.Index()) {
      case 0:  // orderly close after a whole line
        c.Send("last\n");
        c.Close();
        break;
      case 1:  // orderly close in the middle of a line
        c.Send("half a li");
        c.Close();
        break;
      case 2:  // reset
        c.ReadLine();
        c.Reset();
        break;
      default:  // silence until the client goes
        c.WaitForClientClose();
    }
  });
  TcpClient client;
  client.Connect("127.0.0.1", peer.Port());
  EXPECT_EQ(client.ReadLine(), "last");
  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }), "Connection Closed Gracefully.");
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(CommMessage([&] { client.Write("x\r\n"); }), "Connection Closed Gracefully.");

  client.Connect("127.0.0.1", peer.Port());
  EXPECT_EQ(client.ReadLine(), "");
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }), "Connection Closed Gracefully.");
  EXPECT_EQ(CommMessage([&] { client.Write("x\r\n"); }), "Connection Closed Gracefully.");

  client.Connect("127.0.0.1", peer.Port());
  client.Write("bye\r\n");
  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }),
            ResetsLookOrderly() ? "Connection Closed Gracefully."
                                : SocketMessage(kReset, "Connection reset by peer."));
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(CommMessage([&] { client.Write("x\r\n"); }), "Connection Closed Gracefully.");

  // Stop pressed while a reply is awaited: the pump closes the client.
  client.Connect("127.0.0.1", peer.Port());
  int pumps = 0;
  client.SetPump([&] {
    if (++pumps == 2)
      client.Disconnect();
  });
  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }), "Connection Closed Gracefully.");
  EXPECT_EQ(pumps, 2);
  EXPECT_EQ(CommMessage([&] { client.ReadLine(); }), "Not Connected");
  EXPECT_TRUE(peer.WaitForScripts(4));
  EXPECT_EQ(peer.Received(), "bye\r\n");
}

TEST(TcpClient, WriteToAClosedPeerFailsOnceThenReportsTheClose) {
  ScriptedPeer peer([](PeerConnection& c) {
    c.ReadLine();
    c.Reset();
  });
  TcpClient client;
  client.Connect("127.0.0.1", peer.Port());
  client.Write("hello\r\n");
  ASSERT_TRUE(peer.WaitForScripts(1));
  std::string message;
  for (int i = 0; i < 100 && message.empty(); ++i) {
    message = CommMessage([&] { client.Write(std::string(1000, 'z')); });
    if (message.empty())
      std::this_thread::sleep_for(10ms);
  }
  EXPECT_TRUE(message == SocketErrorText(kReset) || message == SocketErrorText(kBrokenPipe))
      << message;
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(CommMessage([&] { client.Write("x"); }), "Connection Closed Gracefully.");
}

// Both backends take the same strict a.b.c.d form; anything else goes to the
// host-name lookup.
TEST(Sockets, DottedQuadsAreStrict) {
  std::uint32_t address = 0;
  EXPECT_TRUE(sockets::ParseDottedQuad("127.0.0.1", address));
  EXPECT_EQ(address, 0x7F000001u);
  EXPECT_TRUE(sockets::ParseDottedQuad("255.255.255.0", address));
  EXPECT_EQ(address, 0xFFFFFF00u);
  for (const std::string text : {"256.0.0.1", "1.2.3", "1.2.3.4.", "01.2.3.4", "1.2.3.4 ", "",
                                 "1..2.3", "1.2.3.0004", "-1.2.3.4", "0x7f.0.0.1"}) {
    EXPECT_FALSE(sockets::ParseDottedQuad(text, address)) << text;
  }
  EXPECT_FALSE(sockets::ParseDottedQuad(std::string("1.2.3.4\0", 8), address));
}

}  // namespace
}  // namespace pelvar::net

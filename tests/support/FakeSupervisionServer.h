#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/ScriptedPeer.h"

namespace pelvar::testing {

// A scripted supervision server that speaks the whole protocol of one
// session: greeting, announcements with their frames, the GUID line and the
// start/stop notice. Every reply can be chosen by the test. Statements are
// recorded in UTF-8 (frames arrive in GBK); the raw frame bytes are kept too.
class FakeSupervisionServer {
 public:
  // Reply to one frame; the special reply kCloseNow closes the connection
  // instead of answering.
  static constexpr const char* kCloseNow = "<close>";

  std::string greeting = "ZQJCJGSITE2";
  std::string announceReply = "ZQJCJGBUSK";
  // Empty: accept with the current time of the emulated machine, so the
  // client's clock stays where it is.
  std::string guidReply;
  std::string noticeReply = "ZQJCJG_STARSTOP_OK";
  std::function<std::string(const std::string& statement)> verdict = [](const std::string&) {
    return std::string("ZQJCJGOK");
  };
  // When set, replaces verdict: its result goes out as raw bytes, without
  // conversion and without a line end (binary garbage, a line that never
  // ends).
  std::function<std::string(const std::string& statement)> rawVerdict;
  // Called before the reply to a frame is sent (for example to press Stop).
  std::function<void()> beforeReply;

  // The script to give a ScriptedPeer.
  ScriptedPeer::Script Script();

  std::vector<std::string> Statements() const;
  std::vector<std::string> RawFrames() const;
  std::vector<std::string> CommandLines() const;

 private:
  void Serve(PeerConnection& connection);

  mutable std::mutex mutex_;
  std::vector<std::string> statements_;
  std::vector<std::string> rawFrames_;
  std::vector<std::string> lines_;
};

}  // namespace pelvar::testing

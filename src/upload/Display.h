#pragma once

#include <string>

#include "text/DateTime.h"

namespace pelvar::upload {

enum class Light {
  kRelayDatabase,  // igDbStatus: the connection to the relay database
  kConnection,     // igConnectStatus: the connection to the supervision server
};

enum class LightColour { kGray, kGreen, kRed };

// How one upload cycle ended, as the tray reports it.
struct CycleOutcome {
  text::DateTime time;        // when the cycle ended
  bool relayReached = true;   // the relay database connected and answered
  bool serverReached = true;  // the session opened and was greeted
  int refused = 0;            // rows settled with 100
  int pending = -1;           // the agency's rows still to send; -1 unknown
};

// The operator's view as the engine and the run control see it. The GUI
// implements it with the main window's widgets, pelvar-cli by printing,
// tests by recording. Every call happens on the one user-interface thread.
class Display {
 public:
  virtual ~Display() = default;

  // Adds text as the new last line of the log view; nothing is added to it.
  virtual void AppendLogLine(const std::string& text) = 0;
  virtual void ClearLog() = 0;
  // Lines as displayed: a wrapped line counts once per displayed row.
  virtual int LogLineCount() = 0;
  virtual void SetLight(Light light, LightColour colour) = 0;
  // Adds one to the sent counter, whose text is its only store.
  virtual void RaiseSentCounter() = 0;
  virtual void ShowRemainingTime(int seconds) = 0;
  virtual void SetRemainingTimeVisible(bool visible) = 0;
  // Empty text clears the header label.
  virtual void SetHeaderLabel(const std::string& text) = 0;
  // Told once at the end of every cycle; the log view has already said it
  // all, so a front that has nowhere else to show it ignores it.
  virtual void CycleFinished(const CycleOutcome& /*outcome*/) {}
  // Whether CycleFinished shows the rows still pending: only then does the
  // cycle count them, with a few more selections on the relay database.
  virtual bool ShowsPendingRows() const { return false; }
};

}  // namespace pelvar::upload

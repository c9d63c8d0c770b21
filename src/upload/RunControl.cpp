#include "upload/RunControl.h"

#include <exception>

#include "config/SettingsStore.h"
#include "platform/Clock.h"
#include "platform/UploaderLock.h"
#include "relay/RelayConnection.h"
#include "text/Regional.h"
#include "text/Strings.h"
#include "upload/ProfileFromSettings.h"
#include "upload/ServerLink.h"
#include "upload/StartStopNotice.h"
#include "upload/UploadCycle.h"

namespace pelvar::upload {
namespace {

constexpr const char* kStartAction = "启动上传";
constexpr const char* kStopAction = "停止上传";
constexpr int kTickMilliseconds = 1000;

std::string Stamp() {
  return text::TimeStamp(platform::Now());
}

}  // namespace

struct RunControl::State {
  State(Display& display, platform::MessageBoxes& boxes, ScanTimer& timer,
        std::function<void()> pump, config::SettingsStore& store)
      : display(display),
        boxes(boxes),
        store(store),
        timer(timer),
        link(pump),
        cycle(relay, link, display, profile, pump) {}

  Display& display;
  platform::MessageBoxes& boxes;
  config::SettingsStore& store;
  ScanTimer& timer;
  relay::RelayConnection relay;
  SiteProfile profile;
  ServerLink link;
  UploadCycle cycle;
  int scanInterval = 0;
  int countdown = 0;
  bool running = false;
  std::unique_ptr<platform::UploaderLock> uploaderLock;
};

RunControl::RunControl(Display& display, platform::MessageBoxes& boxes, ScanTimer& timer,
                       std::function<void()> pump, config::SettingsStore& store)
    : state_(std::make_unique<State>(display, boxes, timer, std::move(pump), store)) {
  state_->timer.onTimer = [this] { Tick(); };
}

RunControl::~RunControl() {
  state_->timer.onTimer = nullptr;
}

RunStart RunControl::Run() {
  State& s = *state_;
  config::RunSettingsLoad load = s.store.LoadRunSettings();
  if (!load.settings) {
    s.boxes.Show(load.failure, config::kMessageCaption, platform::MessageIcon::kNone);
    return RunStart::kNotStarted;
  }
  const config::RunSettings& settings = *load.settings;
  // Held from here on; kept only when uploading has started.
  std::unique_ptr<platform::UploaderLock> lock = platform::UploaderLock::TryAcquire();
  if (!lock) {
    s.boxes.Show(kAnotherUploaderRunning, config::kMessageCaption,
                 platform::MessageIcon::kInformation);
    return RunStart::kAnotherUploader;
  }

  s.relay.Configure(config::RelayParameters(settings));
  s.profile = ProfileFromSettings(settings);
  s.scanInterval = settings.ScanTime;
  s.display.SetHeaderLabel(s.profile.displayName);

  SendStartStopNotice(s.link, s.display, kStartAction, s.profile.agencyNumber, s.profile.serverHost,
                      s.profile.serverPort);
  s.display.AppendLogLine("系统进入上传数据状态！" + Stamp());
  s.display.SetRemainingTimeVisible(true);
  s.uploaderLock = std::move(lock);
  s.countdown = s.scanInterval;
  Tick();
  s.timer.SetInterval(kTickMilliseconds);
  s.timer.SetEnabled(true);
  s.running = true;
  if (onRunStateChanged)
    onRunStateChanged(true);
  return RunStart::kStarted;
}

void RunControl::Stop() {
  State& s = *state_;
  // An interval of 0 keeps the timer silent even when a cycle that Stop
  // interrupted enables it again on its way out.
  s.timer.SetInterval(0);
  s.timer.SetEnabled(false);
  SendStartStopNotice(s.link, s.display, kStopAction, s.profile.agencyNumber, s.profile.serverHost,
                      s.profile.serverPort);
  s.display.AppendLogLine("用户停止上传数据！" + Stamp());
  s.relay.Disconnect();
  if (s.link.IsSessionOpen())
    s.link.CloseSession();
  s.running = false;
  if (onRunStateChanged)
    onRunStateChanged(false);
  s.display.SetLight(Light::kRelayDatabase, LightColour::kGray);
  s.display.SetLight(Light::kConnection, LightColour::kGray);
  s.display.SetRemainingTimeVisible(false);
  s.display.SetHeaderLabel("");
  s.uploaderLock.reset();
}

bool RunControl::ExitAllowed() {
  if (!state_->running)
    return true;
  state_->boxes.Show("正在运行状态，不能退出！", config::kMessageCaption,
                     platform::MessageIcon::kInformation);
  return false;
}

void RunControl::Tick() {
  State& s = *state_;
  try {
    s.countdown -= 1;
    s.display.ShowRemainingTime(s.countdown);
    if (s.countdown <= 0) {
      s.countdown = s.scanInterval + 1;
      s.timer.SetEnabled(false);
      s.cycle.RunUploadCycle();
      s.timer.SetEnabled(true);
    }
  } catch (const std::exception& e) {
    s.display.AppendLogLine(std::string("系统出现异常，原因:") + text::Trim(e.what()));
    s.timer.SetEnabled(true);
  }
}

bool RunControl::IsRunning() const {
  return state_->running;
}

void RunControl::CloseServerSession() {
  state_->link.CloseSession();
}

relay::RelayConnection& RunControl::Relay() {
  return state_->relay;
}

const SiteProfile& RunControl::Profile() const {
  return state_->profile;
}

}  // namespace pelvar::upload

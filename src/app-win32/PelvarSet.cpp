#include "app-win32/PelvarSet.h"

#include <commctrl.h>

#include <cwchar>
#include <exception>

#include "app-win32/DialogParts.h"
#include "config/GeneralError.h"
#include "platform/Paths.h"
#include "platform/WindowsText.h"

namespace pelvar::win32 {
namespace {

namespace parts = dialog_parts;

constexpr int kClientWidth = 378;
constexpr int kClientHeight = 319;
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);

struct Placed {
  int id;
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  int x, y, width, height;
};

constexpr DWORD kEdit = WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kCheck = WS_TABSTOP | BS_AUTOCHECKBOX;

// Every control in pixels of the client area at 96 dpi, made in this order:
// the captions and group boxes first, then the fields in the tab order. A
// themed group box ignores the colour of its own text, so each caption is a
// label above its group box in the z-order, which the group box's frame does
// not paint over; the label is as wide as its text.
constexpr Placed kControls[] = {
    {GroupBox1Caption, L"STATIC", L"远程通讯 设置", SS_LEFT | SS_NOPREFIX, 16, 4, 0, 14},
    {GroupBox2Caption, L"STATIC", L"中转库 设置", SS_LEFT | SS_NOPREFIX, 16, 166, 0, 14},
    {GroupBox1, L"BUTTON", L"", BS_GROUPBOX | WS_CLIPSIBLINGS, 8, 4, 362, 156},
    {GroupBox2, L"BUTTON", L"", BS_GROUPBOX | WS_CLIPSIBLINGS, 8, 166, 362, 112},
    {Label1, L"STATIC", L"检测机构监管号", SS_LEFT, 20, 30, 96, 14},
    {Label1 + 1, L"STATIC", L"远程IP（域名）", SS_LEFT, 20, 56, 96, 14},
    {Label1 + 2, L"STATIC", L"远程端口", SS_LEFT, 20, 82, 96, 14},
    {Label1 + 3, L"STATIC", L"数据上传间隔", SS_LEFT, 20, 108, 96, 14},
    {Label1 + 4, L"STATIC", L"秒(60-300)", SS_LEFT, 204, 108, 100, 14},
    {Label1 + 5, L"STATIC", L"库类型", SS_LEFT, 20, 193, 48, 14},
    {Label1 + 6, L"STATIC", L"端口号", SS_LEFT, 198, 193, 48, 14},
    {Label1 + 7, L"STATIC", L"计算机", SS_LEFT, 20, 221, 48, 14},
    {Label1 + 8, L"STATIC", L"数据库", SS_LEFT, 198, 221, 48, 14},
    {Label1 + 9, L"STATIC", L"用户名", SS_LEFT, 20, 249, 48, 14},
    {Label1 + 10, L"STATIC", L"口令", SS_LEFT, 198, 249, 48, 14},
    {btnSet, L"BUTTON", L"设置", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 214, 286, 75, 25},
    {btnExit, L"BUTTON", L"退出", WS_TABSTOP | BS_PUSHBUTTON, 295, 286, 75, 25},
    {edtRemortIP, L"EDIT", L"", kEdit, 118, 52, 240, 21},
    {edtRemortPort, L"EDIT", L"", kEdit, 118, 78, 80, 21},
    {edtTime, L"EDIT", L"", kEdit, 118, 104, 80, 21},
    {chkAutoStar, L"BUTTON", L"选择随机启动程序", kCheck, 20, 130, 160, 20},
    {chkAutoSend, L"BUTTON", L"选择自动上传", kCheck, 204, 130, 150, 20},
    {edtDwbh, L"EDIT", L"", kEdit, 118, 26, 240, 21},
    // The height of a drop-down list includes its open list.
    {cmbDBType, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 68, 188, 112, 120},
    {edtDBHost, L"EDIT", L"", kEdit, 68, 216, 112, 21},
    {edtDBName, L"EDIT", L"", kEdit, 246, 216, 112, 21},
    {edtDBUser, L"EDIT", L"", kEdit, 68, 244, 112, 21},
    {edtDBPasswd, L"EDIT", L"", kEdit | ES_PASSWORD, 246, 244, 112, 21},
    {edtDBPort, L"EDIT", L"", kEdit, 246, 188, 112, 21},
};

constexpr const char* kEntries[] = {config::kMySqlEntry, config::kSqlServerEntry};

// edtTimeKeyPress: a typed character passes only when it is a digit or
// backspace. Pasting does not type characters and is not filtered.
LRESULT CALLBACK edtTimeKeyPress(HWND field, UINT message, WPARAM wParam, LPARAM lParam,
                                 UINT_PTR id, DWORD_PTR) {
  if ((message == WM_CHAR || message == WM_IME_CHAR) &&
      !((wParam >= L'0' && wParam <= L'9') || wParam == L'\b'))
    return 0;
  if (message == WM_NCDESTROY)
    ::RemoveWindowSubclass(field, edtTimeKeyPress, id);
  return ::DefSubclassProc(field, message, wParam, lParam);
}

// The boxes shown while the dialog is open: whichever window owns them, the
// dialog takes no input until the box is closed, and gets the focus back.
class BoxesOverDialog : public platform::MessageBoxes {
 public:
  BoxesOverDialog(platform::MessageBoxes& boxes, const HWND& dialog)
      : boxes_(boxes), dialog_(dialog) {}
  void Show(const std::string& text, const std::string& caption,
            platform::MessageIcon icon) override {
    HWND focus = ::GetFocus();
    const bool wasEnabled = dialog_ != nullptr && ::IsWindowEnabled(dialog_);
    if (wasEnabled)
      ::EnableWindow(dialog_, FALSE);
    boxes_.Show(text, caption, icon);
    if (wasEnabled) {
      ::EnableWindow(dialog_, TRUE);
      ::SetActiveWindow(dialog_);
      if (focus != nullptr && ::IsChild(dialog_, focus))
        ::SetFocus(focus);
    }
  }

 private:
  platform::MessageBoxes& boxes_;
  const HWND& dialog_;
};

}  // namespace

struct TfrmPelvarSet::State {
  State(config::SettingsStore& store, relay::RelayConnection& relay,
        platform::MessageBoxes& shownBoxes)
      : boxes(shownBoxes, window), save(store, relay, boxes) {}

  HWND window = nullptr;
  BoxesOverDialog boxes;
  config::SettingsSave save;
  bool closed = true;

  HWND Item(int id) const { return ::GetDlgItem(window, id); }

  void CreateControls() {
    for (const Placed& control : kControls) {
      const int width = control.width > 0 ? control.width : parts::TextWidth(control.text) + 4;
      parts::CreateControl(window, control.className, control.text, control.style,
                           std::wcscmp(control.className, L"EDIT") == 0 ? WS_EX_CLIENTEDGE : 0,
                           control.id, control.x, control.y, width, control.height);
    }
    for (const char* entry : kEntries) {
      ::SendMessageW(Item(cmbDBType), CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(platform::windows_text::Widen(entry).c_str()));
    }
    ::SendMessageW(Item(edtDBPasswd), EM_SETPASSWORDCHAR, L'*', 0);
    for (int id : {edtTime, edtRemortPort, edtDBPort})
      ::SetWindowSubclass(Item(id), edtTimeKeyPress, 0, 0);
    ::SendMessageW(window, DM_SETDEFID, btnSet, 0);
    SetForm(config::SettingsForm());
  }

  std::string Text(int id) const { return parts::WindowText(Item(id)); }
  void SetText(int id, const std::string& text) { parts::SetWindowTextUtf8(Item(id), text); }
  bool Ticked(int id) const { return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void SetTicked(int id, bool ticked) {
    ::SendMessageW(Item(id), BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  std::string ChosenEntry() const {
    const LRESULT index = ::SendMessageW(Item(cmbDBType), CB_GETCURSEL, 0, 0);
    return index >= 0 && index < 2 ? kEntries[index] : std::string();
  }

  config::SettingsForm Form() const {
    config::SettingsForm form;
    form.agencyNumber = Text(edtDwbh);
    form.remoteHost = Text(edtRemortIP);
    form.remotePort = Text(edtRemortPort);
    form.scanTime = Text(edtTime);
    form.autoStart = Ticked(chkAutoStar);
    form.autoSend = Ticked(chkAutoSend);
    form.databaseKind = ChosenEntry();
    form.dbHost = Text(edtDBHost);
    form.dbName = Text(edtDBName);
    form.dbUser = Text(edtDBUser);
    form.dbPasswd = Text(edtDBPasswd);
    form.dbPort = Text(edtDBPort);
    return form;
  }

  // Selecting the entry here sends no CBN_SELCHANGE, so no port is proposed.
  void SetForm(const config::SettingsForm& form) {
    SetText(edtDwbh, form.agencyNumber);
    SetText(edtRemortIP, form.remoteHost);
    SetText(edtRemortPort, form.remotePort);
    SetText(edtTime, form.scanTime);
    SetTicked(chkAutoStar, form.autoStart);
    SetTicked(chkAutoSend, form.autoSend);
    const std::string entry = config::DatabaseKindEntry(form.databaseKind);
    WPARAM index = static_cast<WPARAM>(-1);
    for (WPARAM i = 0; i < 2; ++i) {
      if (entry == kEntries[i])
        index = i;
    }
    ::SendMessageW(Item(cmbDBType), CB_SETCURSEL, index, 0);
    SetText(edtDBHost, form.dbHost);
    SetText(edtDBName, form.dbName);
    SetText(edtDBUser, form.dbUser);
    SetText(edtDBPasswd, form.dbPasswd);
    SetText(edtDBPort, form.dbPort);
  }

  void ShowError(const std::exception& error) { config::ShowGeneralError(boxes, error.what()); }

  // Each field takes its value right after its read: when a read fails the
  // fields before it show the stored values and the later ones keep theirs.
  void FormShow() {
    config::SettingsForm form = Form();
    try {
      save.Load(form);
    } catch (const std::exception& error) {
      SetForm(form);
      ShowError(error);
      return;
    }
    SetForm(form);
  }

  void btnSetClick() {
    try {
      if (save.Save(Form(), platform::ExecutablePath()) != config::SaveResult::kRefused)
        closed = true;
    } catch (const std::exception& error) {
      ShowError(error);
    }
  }

  void cmbDBTypeChange() { SetText(edtDBPort, config::ProposedDatabasePort(ChosenEntry())); }

  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        switch (LOWORD(wParam)) {
          case btnSet:
            if (HIWORD(wParam) == BN_CLICKED)
              btnSetClick();
            return TRUE;
          case btnExit:
            closed = true;
            return TRUE;
          case cmbDBType:
            if (HIWORD(wParam) == CBN_SELCHANGE)
              cmbDBTypeChange();
            return TRUE;
        }
        return FALSE;
      case WM_CLOSE:
        closed = true;
        return TRUE;
      case WM_CTLCOLOREDIT:
        if (reinterpret_cast<HWND>(lParam) != Item(edtDwbh))
          return FALSE;
        ::SetTextColor(reinterpret_cast<HDC>(wParam), kRed);
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_WINDOW));
      case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) != Item(GroupBox1Caption) &&
            reinterpret_cast<HWND>(lParam) != Item(GroupBox2Caption))
          return FALSE;
        ::SetTextColor(reinterpret_cast<HDC>(wParam), kBlue);
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(::GetSysColorBrush(COLOR_BTNFACE));
    }
    return FALSE;
  }

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      auto* state = reinterpret_cast<State*>(lParam);
      ::SetWindowLongPtrW(window, DWLP_USER, lParam);
      state->window = window;
      state->CreateControls();
      parts::SetClientSize(window, kClientWidth, kClientHeight);
      return FALSE;
    }
    auto* state = reinterpret_cast<State*>(::GetWindowLongPtrW(window, DWLP_USER));
    return state == nullptr ? FALSE : state->Dispatch(message, wParam, lParam);
  }
};

TfrmPelvarSet::TfrmPelvarSet(config::SettingsStore& store, relay::RelayConnection& relay,
                             platform::MessageBoxes& boxes)
    : state_(std::make_unique<State>(store, relay, boxes)) {
  const std::vector<DWORD> dialogTemplate =
      parts::EmptyTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, L"信息设置");
  ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                               reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()), nullptr,
                               State::DialogProc, reinterpret_cast<LPARAM>(state_.get()));
}

TfrmPelvarSet::~TfrmPelvarSet() {
  if (state_->window != nullptr)
    ::DestroyWindow(state_->window);
}

HWND TfrmPelvarSet::Handle() const {
  return state_->window;
}

void TfrmPelvarSet::ShowModal(HWND owner) {
  State& state = *state_;
  if (state.window == nullptr || !state.closed)
    return;
  HWND window = state.window;
  state.closed = false;
  // The owner of a top-level window is its GWLP_HWNDPARENT.
  ::SetWindowLongPtrW(window, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  const bool ownerWasEnabled = owner != nullptr && ::IsWindowEnabled(owner);
  if (ownerWasEnabled)
    ::EnableWindow(owner, FALSE);
  parts::CenterWindow(window, owner);
  ::ShowWindow(window, SW_SHOW);
  ::SetForegroundWindow(window);
  ::SetFocus(state.Item(btnSet));
  state.FormShow();

  MSG message;
  while (!state.closed) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      ::PostQuitMessage(static_cast<int>(message.wParam));  // for the outer loop
      break;
    }
    if (got < 0)
      break;
    if (!::IsDialogMessageW(window, &message)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  state.closed = true;
  // Enabled before the dialog hides, so that the owner is activated again.
  if (ownerWasEnabled)
    ::EnableWindow(owner, TRUE);
  ::ShowWindow(window, SW_HIDE);
}

}  // namespace pelvar::win32

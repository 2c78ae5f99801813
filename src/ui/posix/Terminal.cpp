// The terminal presenter: raw keys in, the window and dialogs drawn with box
// characters on the alternate screen, the terminal restored however the
// program ends.
#include "ui/posix/Terminal.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "os/text.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/TerminalKeys.h"
#include "ui/TextScreen.h"
#include "ui/Transcript.h"

namespace ui {

namespace {

// The settings to put back; global so that a signal handler can reach them.
termios savedSettings;
volatile sig_atomic_t settingsSaved = 0;
volatile sig_atomic_t resized = 0;

constexpr char kEnterScreen[] = "\x1b[?1049h\x1b[?25l";
constexpr char kLeaveScreen[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

void WriteAll(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

void RestoreTerminal() {
  if (settingsSaved == 0) return;
  ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedSettings);
  const ssize_t ignored = ::write(STDOUT_FILENO, kLeaveScreen, sizeof kLeaveScreen - 1);
  (void)ignored;
  settingsSaved = 0;
}

void OnFatalSignal(int signalNumber) {
  RestoreTerminal();
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

void OnResize(int) {
  resized = 1;
}

std::string Base64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t chunk = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size())
      chunk |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) chunk |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(chunk >> 18) & 63];
    out += kAlphabet[(chunk >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(chunk >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[chunk & 63] : '=';
  }
  return out;
}

// What is up on the screen above the forms, innermost last.
struct Overlay {
  std::string caption, text;
  bool stop = false;
  TOpenDialog* browse = nullptr;
  std::string typed;
};

class TTerminalPresenter : public TPresenter {
 public:
  TTerminalPresenter() {
    WriteAll(kEnterScreen);
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    for (int signalNumber : {SIGTERM, SIGHUP, SIGINT, SIGQUIT})
      ::sigaction(signalNumber, &action, nullptr);
    action.sa_handler = OnResize;  // no SA_RESTART: a waiting read wakes up to redraw
    ::sigaction(SIGWINCH, &action, nullptr);
  }
  ~TTerminalPresenter() override { RestoreTerminal(); }

  void RunLoop(TApplication& application) override {
    application.ShowMainForm();
    while (!application.Terminated()) {
      const std::optional<TTerminalInput> input = ReadInput();
      application.ProcessKey(input ? input->key : TKeyEvent{vkF4, ssAlt});
      Redraw();
    }
    form_ = nullptr;
    RestoreTerminal();
  }

  void FormShown(TForm& form) override {
    form_ = &form;
    int columns = 80, rows = 24;
    ScreenSize(columns, rows);
    // The frame of a drawn window: a column each side, caption bar and rules.
    form.PlaceCentred(columns * 8, rows * 16, 2 * 8, 4 * 16);
    Redraw();
  }
  void FocusChanged(TForm&, TControl&) override { Redraw(); }
  void ControlChanged(TForm&, TControl&) override { Redraw(); }

  void RunMessageDialog(TMessageDialog& dialog) override {
    overlays_.push_back({dialog.Caption(), dialog.Text(), false, nullptr, {}});
    Redraw();
    while (!dialog.Closed()) {
      const std::optional<TTerminalInput> input = ReadInput();
      dialog.HandleKey(input ? input->key : TKeyEvent{vkF4, ssAlt});
      Redraw();
    }
    overlays_.pop_back();
    Redraw();
  }

  void ShowErrorBox(const std::string& caption, const std::string& text) override {
    overlays_.push_back({caption, text, true, nullptr, {}});
    Redraw();
    for (;;) {
      const std::optional<TTerminalInput> input = ReadInput();
      if (!input || ClosesErrorBox(input->key)) break;
    }
    overlays_.pop_back();
    Redraw();
  }

  bool SetClipboardText(const std::string& text) override {
    clipboard_ = text;
    // The terminal's own clipboard, where it takes the OSC 52 request.
    WriteAll("\x1b]52;c;" + Base64(os::text::Win1252ToUtf8(text)) + "\x07");
    return true;
  }

  void Beep() override { WriteAll("\x07"); }

  bool RunOpenDialog(TOpenDialog& dialog) override {
    overlays_.push_back({dialog.Title(), "File name:", false, &dialog, {}});
    bool chosen = false;
    for (;;) {
      Redraw();
      const std::optional<TTerminalInput> input = ReadInput();
      Overlay& overlay = overlays_.back();
      if (!input || input->key.Is(vkEscape) || input->key.Is(vkF4, ssAlt)) break;
      if (input->key.Is(vkReturn)) {
        chosen = !overlay.typed.empty();
        if (chosen) dialog.SetFileName(os::text::Utf8ToWin1252(overlay.typed));
        break;
      }
      if (input->key.key == vkBack) {
        while (!overlay.typed.empty() && (overlay.typed.back() & 0xC0) == 0x80)
          overlay.typed.pop_back();
        if (!overlay.typed.empty()) overlay.typed.pop_back();
      } else {
        overlay.typed += input->text;
      }
    }
    overlays_.pop_back();
    Redraw();
    return chosen;
  }

 private:
  static void ScreenSize(int& columns, int& rows) {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0) {
      columns = size.ws_col;
      rows = size.ws_row;
    }
  }

  void Redraw() {
    resized = 0;
    int columns = 80, rows = 24;
    ScreenSize(columns, rows);
    std::string out = "\x1b[0m\x1b[2J";
    if (form_ != nullptr && form_->Visible()) {
      const TTextCanvas canvas = PaintForm(*form_);
      out += canvas.Render(std::max(0, (columns - canvas.Width()) / 2),
                           std::max(0, (rows - canvas.Height()) / 2));
    }
    for (const Overlay& overlay : overlays_) {
      const std::string text =
          overlay.browse != nullptr
              ? overlay.text + " " + os::text::Utf8ToWin1252(overlay.typed) + "_"
              : overlay.text;
      const TTextCanvas canvas =
          PaintDialog(overlay.caption, text, std::max(20, columns / 2), overlay.stop);
      out += canvas.Render(std::max(0, (columns - canvas.Width()) / 2),
                           std::max(0, (rows - canvas.Height()) / 2));
    }
    WriteAll(out);
  }

  // The next key; nothing at the end of input. Redraws after a resize.
  std::optional<TTerminalInput> ReadInput() {
    for (;;) {
      if (!pending_.empty()) {
        size_t used = 0;
        std::optional<TTerminalInput> input = DecodeTerminalKey(pending_, used);
        if (used == 0 && !MoreBytesSoon()) used = pending_.size();  // a sequence that never ends
        if (used != 0) {
          pending_.erase(0, used);
          if (input) return input;
          continue;
        }
      }
      // A lone ESC is the Esc key only when nothing follows it at once.
      if (pending_ == "\x1b") {
        if (!MoreBytesSoon()) {
          pending_.clear();
          return TTerminalInput{TKeyEvent{vkEscape, ssNone}, {}};
        }
      }
      if (!ReadMore(-1)) return std::nullopt;
      if (resized != 0) Redraw();
    }
  }

  bool MoreBytesSoon() { return ReadMore(40); }

  // Reads what is there within `timeoutMs` (-1: wait); false at the end of input
  // or when nothing came in time.
  bool ReadMore(int timeoutMs) {
    for (;;) {
      pollfd descriptor{STDIN_FILENO, POLLIN, 0};
      const int ready = ::poll(&descriptor, 1, timeoutMs);
      if (ready < 0 && errno == EINTR) {
        if (resized != 0) Redraw();
        continue;
      }
      if (ready <= 0) return false;
      char buffer[256];
      const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      pending_.append(buffer, static_cast<size_t>(n));
      return true;
    }
  }

  TForm* form_ = nullptr;
  std::vector<Overlay> overlays_;
  std::string pending_;
  std::string clipboard_;
};

}  // namespace

std::unique_ptr<TPresenter> CreateTerminalPresenter() {
  termios settings{};
  if (::tcgetattr(STDIN_FILENO, &settings) != 0) return nullptr;
  savedSettings = settings;
  // Raw keys: no line editing, no echo, no signals from Ctrl+C (the dialog's
  // copy key), but output processing kept.
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP | BRKINT);
  settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (::tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings) != 0) return nullptr;
  settingsSaved = 1;
  return std::make_unique<TTerminalPresenter>();
}

}  // namespace ui

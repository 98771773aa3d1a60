// Drives the installer's window without a user: presses "Baixar arquivos" and "Iniciar
// Instalação" as each step opens, clicks a retry link (up to three times, five seconds apart)
// and ends the program once the product is installed or a failure leaves nothing to try; a
// message box ends it too, once answered. Each status line, each message box and each
// download (file and server) is written to the output once, as "YYYY-MM-DD HH:MM:SS text".
// Works on any backend: it only reads the window's controls and clicks through the
// application.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>

#include "platform/forms/forms.h"
#include "window/frmInstall.h"

namespace app {

class UnattendedDriver {
  public:
    enum class Outcome { Running, Installed, Failed };

    // Drive: presses the buttons and ends the program, as described above. LogOnly: the user
    // drives; the driver only writes the lines.
    enum class Role { Drive, LogOnly };

    static constexpr int kMaxRetries = 3;
    static constexpr std::int32_t kRetryDelayMs = 5000;

    // Must be created before the window's load step runs and destroyed before the window.
    UnattendedDriver(forms::Application& app, frmInstall& form, std::ostream& out,
                     Role role = Role::Drive);
    ~UnattendedDriver();
    UnattendedDriver(const UnattendedDriver&) = delete;
    UnattendedDriver& operator=(const UnattendedDriver&) = delete;

    Outcome outcome() const { return outcome_; }
    // 0 once installed, 1 for anything else (a failure, or a program ended some other way).
    int ExitCode() const;
    // Retries made through each link, by its name.
    int RetriesMade(const std::string& linkName) const;

    // One line as printed: the date, the time and the text on one line.
    static std::string FormatLine(const std::string& text);

  private:
    void OnChange(forms::Control& control, const char* property);
    int StatusLineIndex(const forms::Control& control);
    void UpdateShownLines();
    void FlushShownLines(int except = -1);
    void WrapHandlers();
    std::function<void()> Wrap(std::function<void()> handler);
    void Poke();
    void Tick();
    void Evaluate();
    forms::Label* VisibleRetryLink();
    bool ClickCentre(forms::Control& control);
    void Finish(Outcome outcome);
    void Print(const std::string& text);

    forms::Application& app_;
    frmInstall& form_;
    std::ostream& out_;
    const Role role_;
    forms::Timer timer_;
    std::shared_ptr<bool> alive_;
    int handlerDepth_ = 0;
    Outcome outcome_ = Outcome::Running;
    bool downloadClicked_ = false;
    bool installClicked_ = false;
    bool messageShown_ = false;
    forms::Label* retryPending_ = nullptr;
    std::int64_t retryAt_ = 0;
    std::map<std::string, int> retries_;
    // Per status line (lblMensagem 1 to 3): whether the window shows it, and whether it came
    // into view with a text not printed yet. That text is printed once anything else changes,
    // unless the flow replaces it first, as it does when it shows a line and then sets it.
    std::array<bool, 3> shown_{};
    std::array<bool, 3> unprinted_{};
};

}  // namespace app

#include "app/UnattendedDriver.h"

#include <cstdio>
#include <string_view>

#include "platform/kernel/kernel.h"

namespace app {

namespace {

// A caption's line breaks become spaces, so that each status line stays one line.
std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return out;
}

// Whether the control is the target or lies inside it (the label of a picture-button).
bool IsOrInside(const forms::Control* hit, const forms::Control& target) {
    for (const forms::Control* c = hit; c; c = c->Container()) {
        if (c == &target) return true;
    }
    return false;
}

}  // namespace

UnattendedDriver::UnattendedDriver(forms::Application& app, frmInstall& form, std::ostream& out,
                                   Role role)
    : app_(app),
      form_(form),
      out_(out),
      role_(role),
      timer_(&form, "tmrUnattended"),
      alive_(std::make_shared<bool>(true)) {
    WrapHandlers();
    // Lines already in view when the driver starts are not news.
    for (int i = 0; i < 3; ++i) shown_[i] = form_.lblMensagem[i + 1].EffectivelyVisible();

    std::weak_ptr<bool> alive = alive_;
    app_.AddChangeObserver([this, alive](forms::Control& control, const char* property) {
        if (alive.expired()) return;
        if (&control == &timer_) return;
        OnChange(control, property);
    });
    app_.AddMessageObserver([this, alive](const std::string& prompt) {
        if (alive.expired()) return;
        FlushShownLines();
        Print(prompt);
        messageShown_ = true;
    });
    form_.DownloadStarting = [this, alive](const std::string& remote, const std::string& server) {
        if (alive.expired()) return;
        FlushShownLines();
        Print("Baixando " + remote + " do servidor " + server);
    };
    form_.LogLine = [this, alive](const std::string& text) {
        if (alive.expired()) return;
        FlushShownLines();
        Print(text);
    };
    timer_.OnTimer = [this, alive] {
        if (!alive.expired()) Tick();
    };
}

UnattendedDriver::~UnattendedDriver() {
    alive_.reset();
    timer_.OnTimer = nullptr;
    form_.DownloadStarting = nullptr;
    form_.LogLine = nullptr;
}

int UnattendedDriver::ExitCode() const { return outcome_ == Outcome::Installed ? 0 : 1; }

int UnattendedDriver::RetriesMade(const std::string& linkName) const {
    const auto it = retries_.find(linkName);
    return it == retries_.end() ? 0 : it->second;
}

std::string UnattendedDriver::FormatLine(const std::string& text) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[64];  // room for any WORD in each field
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{now.wYear},
                  unsigned{now.wMonth}, unsigned{now.wDay}, unsigned{now.wHour},
                  unsigned{now.wMinute}, unsigned{now.wSecond});
    return std::string(stamp) + " " + OneLine(text);
}

void UnattendedDriver::Print(const std::string& text) { out_ << FormatLine(text) << std::endl; }

void UnattendedDriver::OnChange(forms::Control& control, const char* property) {
    const int line = StatusLineIndex(control);
    const std::string_view name(property);
    // Whatever came into view before this change has been on show: its text goes out first. The
    // line being changed keeps its own until the flow is done setting it.
    FlushShownLines(line);
    if (line >= 0 && name == "Caption" && shown_[line]) {
        unprinted_[line] = false;
        Print(form_.lblMensagem[line + 1].Caption);
    }
    // A line comes into view with its own Visible or with a container's.
    if (name == "Visible") UpdateShownLines();
    Poke();
}

int UnattendedDriver::StatusLineIndex(const forms::Control& control) {
    for (int i = 0; i < 3; ++i) {
        if (&control == &form_.lblMensagem[i + 1]) return i;
    }
    return -1;
}

void UnattendedDriver::UpdateShownLines() {
    for (int i = 0; i < 3; ++i) {
        const bool now = form_.lblMensagem[i + 1].EffectivelyVisible();
        if (now && !shown_[i]) unprinted_[i] = true;
        // Hidden again before anything else changed: the window never showed that text.
        if (!now) unprinted_[i] = false;
        shown_[i] = now;
    }
}

void UnattendedDriver::FlushShownLines(int except) {
    for (int i = 0; i < 3; ++i) {
        if (i == except || !unprinted_[i]) continue;
        unprinted_[i] = false;
        Print(form_.lblMensagem[i + 1].Caption);
    }
}

// Every event handler of the window is counted while it runs, so that the driver acts only
// between handlers, never inside one that yields.
void UnattendedDriver::WrapHandlers() {
    for (forms::Control* control : form_.AllControls()) {
        if (control == &timer_) continue;
        if (control->Click) control->Click = Wrap(control->Click);
        if (control->kind == forms::Kind::Timer) {
            auto* timer = static_cast<forms::Timer*>(control);
            if (timer->OnTimer) timer->OnTimer = Wrap(timer->OnTimer);
        }
    }
    if (form_.OnUnload) form_.OnUnload = Wrap(form_.OnUnload);
}

std::function<void()> UnattendedDriver::Wrap(std::function<void()> handler) {
    std::weak_ptr<bool> alive = alive_;
    return [this, alive, handler = std::move(handler)] {
        if (alive.expired()) {
            handler();
            return;
        }
        struct Running {
            UnattendedDriver& driver;
            explicit Running(UnattendedDriver& d) : driver(d) { ++driver.handlerDepth_; }
            ~Running() {
                if (--driver.handlerDepth_ != 0) return;
                driver.FlushShownLines();
                driver.Poke();
            }
        } running(*this);
        handler();
    };
}

// Asks for a look at the window as soon as the event loop is free.
void UnattendedDriver::Poke() {
    if (role_ == Role::LogOnly) return;
    if (outcome_ != Outcome::Running || app_.Ended()) return;
    if (retryPending_) return;  // the retry's own delay is running
    timer_.Interval = 1;
}

void UnattendedDriver::Tick() {
    timer_.Interval = 0;
    FlushShownLines();
    if (outcome_ != Outcome::Running) return;
    // A handler is under way (this tick came from one of its yields), or a step of the flow is
    // still waiting for its own timer: nothing is settled yet.
    const bool settled =
        handlerDepth_ == 0 && form_.Timer2.Interval == 0 && form_.Timer3.Interval == 0;
    if (!settled) {
        // A waiting retry is not forgotten; the end of the running handler pokes otherwise.
        if (retryPending_) timer_.Interval = 100;
        return;
    }
    Evaluate();
}

void UnattendedDriver::Evaluate() {
    if (form_.installed) {
        Finish(Outcome::Installed);
        return;
    }
    // A message box means the flow met what it did not expect; its text is in the log, and a
    // run that goes on after it proves nothing.
    if (messageShown_) {
        Finish(Outcome::Failed);
        return;
    }

    if (forms::Label* link = VisibleRetryLink()) {
        if (retryPending_ == link) {
            const std::int64_t wait = retryAt_ - app_.backend().NowMs();
            if (wait > 0) {
                timer_.Interval = static_cast<std::int32_t>(wait);
                return;
            }
            retryPending_ = nullptr;
            if (!ClickCentre(*link)) Finish(Outcome::Failed);
            return;
        }
        int& made = retries_[link->Name];
        if (made >= kMaxRetries) {
            Finish(Outcome::Failed);
            return;
        }
        ++made;
        retryPending_ = link;
        retryAt_ = app_.backend().NowMs() + kRetryDelayMs;
        timer_.Interval = kRetryDelayMs;
        return;
    }
    retryPending_ = nullptr;

    if (!installClicked_ && form_.cmdInstalar.EffectivelyVisible() &&
        form_.cmdInstalar.EffectivelyEnabled()) {
        installClicked_ = true;
        if (!ClickCentre(form_.cmdInstalar)) Finish(Outcome::Failed);
        return;
    }
    if (!downloadClicked_ && form_.cmdBaixar.EffectivelyVisible() &&
        form_.cmdBaixar.EffectivelyEnabled()) {
        downloadClicked_ = true;
        if (!ClickCentre(form_.cmdBaixar)) Finish(Outcome::Failed);
        return;
    }
    // Nothing runs, nothing waits and there is nothing left to press: the run is stuck.
    Finish(Outcome::Failed);
}

forms::Label* UnattendedDriver::VisibleRetryLink() {
    if (form_.lblTenteNovamente.EffectivelyVisible()) return &form_.lblTenteNovamente;
    if (form_.lblTente.EffectivelyVisible()) return &form_.lblTente;
    return nullptr;
}

// A click at the centre of the control, delivered the way a user's click is: through hit
// testing, so that a covered or disabled control gets nothing.
bool UnattendedDriver::ClickCentre(forms::Control& control) {
    double x = control.Left + control.Width / 2;
    double y = control.Top + control.Height / 2;
    for (forms::Control* c = control.Container(); c && c->kind != forms::Kind::Form;
         c = c->Container()) {
        x += c->Left;
        y += c->Top;
    }
    if (!IsOrInside(form_.HitTest(x, y), control)) return false;
    app_.ClickAt(form_, x, y);
    return true;
}

void UnattendedDriver::Finish(Outcome outcome) {
    FlushShownLines();
    outcome_ = outcome;
    timer_.Interval = 0;
    app_.End(ExitCode());
}

}  // namespace app

// The event machinery on the headless backend: timers, dispatch, the yield, message boxes and
// the end of the program.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/forms/headless.h"

namespace {

using forms::Application;
using forms::HeadlessBackend;
using forms::MousePointer;

struct TimerForm : forms::Form {
    explicit TimerForm(Application& app) : Form(app, "frmTimers") {
        ScaleWidth = 3000;
        ScaleHeight = 3000;
        closeButton.Move(0, 0, 1000, 1000);
        workButton.Move(1500, 0, 1000, 1000);
    }
    forms::Timer first{this, "first"};
    forms::Timer second{this, "second"};
    forms::PictureBox closeButton{this, "closeButton"};
    forms::PictureBox workButton{this, "workButton"};
};

class ApplicationTest : public ::testing::Test {
  protected:
    ApplicationTest() { backend.Attach(app); }
    HeadlessBackend backend;
    Application app{backend};
    TimerForm form{app};
    std::vector<std::string> log;
};

TEST_F(ApplicationTest, OneShotTimerTicksOnceAtItsTime) {
    form.first.OnTimer = [this] {
        form.first.Interval = 0;
        log.push_back("tick@" + std::to_string(backend.NowMs()));
    };
    form.first.Interval = 5000;
    backend.Advance(4999);
    EXPECT_TRUE(log.empty());
    backend.Advance(1);
    backend.Advance(20000);
    EXPECT_EQ(log, std::vector<std::string>{"tick@5000"});
    EXPECT_EQ(app.MsUntilNextTimer(), -1);
}

TEST_F(ApplicationTest, RepeatingTimerTicksEveryIntervalUntilDisarmed) {
    form.first.OnTimer = [this] {
        log.push_back(std::to_string(backend.NowMs()));
        if (log.size() == 3) form.first.Interval = 0;
    };
    form.first.Interval = 100;
    backend.Advance(250);
    EXPECT_EQ(log, (std::vector<std::string>{"100", "200"}));
    EXPECT_EQ(app.MsUntilNextTimer(), 50);
    backend.Advance(1000);
    EXPECT_EQ(log, (std::vector<std::string>{"100", "200", "300"}));
}

TEST_F(ApplicationTest, TimersTickInDueOrderAndRearmingRestartsTheCount) {
    form.first.OnTimer = [this] {
        form.first.Interval = 0;
        log.push_back("first@" + std::to_string(backend.NowMs()));
        form.second.Interval = 0;  // re-armed below: the count starts again from now
        form.second.Interval = 1000;
    };
    form.second.OnTimer = [this] {
        form.second.Interval = 0;
        log.push_back("second@" + std::to_string(backend.NowMs()));
    };
    form.second.Interval = 700;
    form.first.Interval = 300;
    backend.Advance(5000);
    EXPECT_EQ(log, (std::vector<std::string>{"first@300", "second@1300"}));
}

TEST_F(ApplicationTest, DisabledTimerDoesNotTickAndEnablingRearms) {
    form.first.OnTimer = [this] {
        form.first.Interval = 0;
        log.push_back(std::to_string(backend.NowMs()));
    };
    form.first.Interval = 100;
    form.first.Enabled = false;
    backend.Advance(500);
    EXPECT_TRUE(log.empty());
    form.first.Enabled = true;
    backend.Advance(500);
    EXPECT_EQ(log, std::vector<std::string>{"600"});
}

TEST_F(ApplicationTest, YieldDeliversQueuedClicksAndDueTicksInsideAHandler) {
    form.closeButton.Click = [this] { log.push_back("click"); };
    form.second.OnTimer = [this] {
        form.second.Interval = 0;
        log.push_back("second");
    };
    form.first.OnTimer = [this] {
        form.first.Interval = 0;
        log.push_back("work starts");
        backend.QueueClick(form, "closeButton");
        form.second.Interval = 0;
        app.DoEvents();
        log.push_back("work ends");
    };
    form.second.Interval = 100;
    form.first.Interval = 100;  // both due at 100: first, created first, disarms second
    backend.Advance(100);
    EXPECT_EQ(log, (std::vector<std::string>{"work starts", "click", "work ends"}));
    EXPECT_GE(backend.processEventsCalls, 1);
}

TEST_F(ApplicationTest, YieldRunsTimersThatFallDueWhileAHandlerRuns) {
    form.second.OnTimer = [this] {
        form.second.Interval = 0;
        log.push_back("second@" + std::to_string(backend.NowMs()));
    };
    form.first.OnTimer = [this] {
        form.first.Interval = 0;
        form.second.Interval = 50;
        app.DoEvents();
        backend.Advance(0);  // no time passed yet
        log.push_back("still working");
        // A long transfer: the clock moves while the handler keeps yielding.
        backend.Advance(60);
        app.DoEvents();
        log.push_back("done");
    };
    form.first.Interval = 10;
    backend.Advance(10);
    EXPECT_EQ(log, (std::vector<std::string>{"still working", "second@60", "done"}));
}

TEST_F(ApplicationTest, EndFromNestedYieldEndsTheProgramOnce) {
    int terminations = 0;
    struct CountingBackend : HeadlessBackend {
        int* count;
        void Terminate(int code) override {
            ++*count;
            HeadlessBackend::Terminate(code);
        }
    } counting;
    counting.count = &terminations;
    Application app2{counting};
    counting.Attach(app2);
    TimerForm f{app2};
    f.closeButton.Click = [&] { app2.End(3); };
    f.second.OnTimer = [&] { log.push_back("second ticked"); };
    f.first.OnTimer = [&] {
        f.first.Interval = 0;
        counting.QueueClick(f, "closeButton");
        app2.DoEvents();
        log.push_back("after the yield");
    };
    f.first.Interval = 10;
    f.second.Interval = 20;
    counting.Advance(1000);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(app2.Ended());
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(counting.exitCode, 3);
    // Nothing runs once the program has ended.
    f.workButton.Click = [&] { log.push_back("work"); };
    EXPECT_EQ(counting.Click(f, "workButton"), "");
    app2.Dispatch([&] { log.push_back("dispatched"); });
    EXPECT_TRUE(log.empty());
}

TEST_F(ApplicationTest, FailureInAHandlerIsShownAndTheWindowStaysUsable) {
    form.workButton.Click = [this] {
        app.SetMousePointer(MousePointer::Hourglass);
        throw std::runtime_error("Path not found");
    };
    form.closeButton.Click = [this] { log.push_back("close clicked"); };
    EXPECT_EQ(backend.Click(form, "workButton"), "workButton");
    EXPECT_EQ(backend.messages, std::vector<std::string>{"Path not found"});
    EXPECT_EQ(backend.titles, std::vector<std::string>{"Instalador"});
    EXPECT_EQ(app.GetMousePointer(), MousePointer::Default);
    EXPECT_FALSE(app.Ended());
    backend.Click(form, "closeButton");
    EXPECT_EQ(log, std::vector<std::string>{"close clicked"});
}

TEST_F(ApplicationTest, FailureInANestedHandlerLetsTheOuterOneGoOn) {
    form.workButton.Click = [] { throw std::runtime_error("File not found"); };
    form.first.OnTimer = [this] {
        form.first.Interval = 0;
        backend.QueueClick(form, "workButton");
        app.DoEvents();
        log.push_back("outer goes on");
    };
    form.first.Interval = 1;
    backend.Advance(1);
    EXPECT_EQ(backend.messages, std::vector<std::string>{"File not found"});
    EXPECT_EQ(log, std::vector<std::string>{"outer goes on"});
}

TEST_F(ApplicationTest, MessageBoxHasTheTitleAndObserversSeeItFirst) {
    std::vector<std::size_t> shownBefore;
    app.AddMessageObserver([&](const std::string& prompt) {
        log.push_back(prompt);
        shownBefore.push_back(backend.messages.size());
    });
    app.MsgBox("Erro ao registrar");
    EXPECT_EQ(log, std::vector<std::string>{"Erro ao registrar"});
    EXPECT_EQ(shownBefore, std::vector<std::size_t>{0});
    EXPECT_EQ(backend.titles, std::vector<std::string>{"Instalador"});
}

TEST_F(ApplicationTest, TimersWaitWhileAMessageBoxIsUp) {
    struct ModalBackend : HeadlessBackend {
        std::function<void()> whileShown;
        void MessageBox(const std::string& p, const std::string& t) override {
            HeadlessBackend::MessageBox(p, t);
            if (whileShown) whileShown();
        }
    } modal;
    Application app2{modal};
    modal.Attach(app2);
    TimerForm f{app2};
    f.first.OnTimer = [&] {
        f.first.Interval = 0;
        log.push_back("tick");
    };
    f.first.Interval = 10;
    modal.whileShown = [&] {
        modal.Advance(50);
        app2.DoEvents();
    };
    app2.MsgBox("texto");
    EXPECT_TRUE(log.empty());
    app2.DoEvents();
    EXPECT_EQ(log, std::vector<std::string>{"tick"});
}

TEST_F(ApplicationTest, TitleBarCloseRunsUnloadThenEnds) {
    form.OnUnload = [this] { log.push_back("unload"); };
    form.first.OnTimer = [this] {
        form.first.Interval = 0;
        backend.QueueClose(form);
        app.DoEvents();
        log.push_back("after the yield");
    };
    form.first.Interval = 10;
    backend.Advance(10);
    EXPECT_EQ(log, std::vector<std::string>{"unload"});
    EXPECT_TRUE(backend.terminated);
    EXPECT_EQ(backend.exitCode, 0);
}

TEST_F(ApplicationTest, EndOutsideAnyHandlerReachesTheCaller) {
    EXPECT_THROW(app.End(2), forms::ProgramEnd);
    EXPECT_FALSE(backend.terminated);
}

TEST_F(ApplicationTest, PointerChangesReachTheBackendOnce) {
    struct PointerSpy : HeadlessBackend {
        std::vector<MousePointer> seen;
        void PointerChanged(MousePointer p) override { seen.push_back(p); }
    } spy;
    Application app2{spy};
    app2.SetMousePointer(MousePointer::Hourglass);
    app2.SetMousePointer(MousePointer::Hourglass);
    app2.SetMousePointer(MousePointer::Default);
    EXPECT_EQ(spy.seen,
              (std::vector<MousePointer>{MousePointer::Hourglass, MousePointer::Default}));
    EXPECT_EQ(app2.GetMousePointer(), MousePointer::Default);
}

}  // namespace

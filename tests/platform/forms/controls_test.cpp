// The control tree of a small form: names, hit testing, focus and property notifications.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/forms/headless.h"

namespace {

using forms::Application;
using forms::HeadlessBackend;

// A panel covering a button on a steps panel, as the installer's start panel does.
struct SampleForm : forms::Form {
    explicit SampleForm(Application& app) : Form(app, "frmSample") {
        ScaleWidth = 6000;
        ScaleHeight = 4000;
        cover.Move(100, 100, 3000, 2000);
        steps.Move(0, 0, 6000, 3000);
        button.Move(500, 500, 1500, 600);
        caption.Move(0, 150, 1500, 300);
        note.Move(2500, 500, 2000, 400);
        hiddenHolder.Visible = false;
        hiddenHolder.Move(4000, 2000, 1500, 900);
        secret.Move(0, 0, 1500, 400);
        visibleBox.Move(4000, 3200, 1500, 400);
        status.Add(3, &steps).Move(2500, 1500, 2000, 400);
        button.Click = [this] { clicks.push_back("button"); };
        caption.Click = [this] { clicks.push_back("caption"); };
    }
    // Front first, as declared.
    forms::PictureBox cover{this, "cover"};
    forms::PictureBox steps{this, "steps"};
    forms::PictureBox hiddenHolder{this, "hiddenHolder"};
    forms::TextBox visibleBox{this, "visibleBox"};
    forms::PictureBox button{&steps, "button"};
    forms::Label caption{&button, "caption"};
    forms::Label note{&steps, "note"};
    forms::TextBox secret{&hiddenHolder, "secret"};
    forms::ControlArray<forms::Label> status{"status"};
    std::vector<std::string> clicks;
};

class ControlsTest : public ::testing::Test {
  protected:
    ControlsTest() { backend.Attach(app); }
    HeadlessBackend backend;
    Application app{backend};
    SampleForm form{app};
};

TEST_F(ControlsTest, NamesAndRegistrationFollowDeclarationOrder) {
    const auto& all = form.AllControls();
    ASSERT_EQ(all.size(), 10u);
    EXPECT_EQ(all.front(), &form);
    EXPECT_EQ(all[1], &form.cover);
    EXPECT_EQ(all.back(), &form.status[3]);
    EXPECT_EQ(form.status[3].DisplayName(), "status(3)");
    EXPECT_EQ(form.FindControl("status(3)"), &form.status[3]);
    EXPECT_EQ(form.FindControl("caption"), &form.caption);
    EXPECT_EQ(form.FindControl("status"), nullptr);
    EXPECT_EQ(form.caption.ParentForm(), &form);
    std::vector<forms::Control*> top(form.Children().begin(), form.Children().end());
    EXPECT_EQ(top, (std::vector<forms::Control*>{&form.cover, &form.steps, &form.hiddenHolder,
                                                 &form.visibleBox}));
}

TEST_F(ControlsTest, SetChildrenOrderKeepsUnnamedChildrenBehind) {
    form.SetChildrenOrder({&form.visibleBox, &form.steps, &form.caption});
    std::vector<forms::Control*> top(form.Children().begin(), form.Children().end());
    EXPECT_EQ(top, (std::vector<forms::Control*>{&form.visibleBox, &form.steps, &form.cover,
                                                 &form.hiddenHolder}));
}

TEST_F(ControlsTest, CoveredControlGetsNoClickUntilTheCoverIsHidden) {
    EXPECT_EQ(backend.Click(form, "caption"), "cover");
    EXPECT_TRUE(form.clicks.empty());
    form.cover.Visible = false;
    EXPECT_EQ(backend.Click(form, "caption"), "caption");
    EXPECT_EQ(form.clicks, std::vector<std::string>{"caption"});
}

TEST_F(ControlsTest, DisabledPictureBoxSwallowsClicksOnItsLabel) {
    form.cover.Visible = false;
    form.button.Enabled = false;
    EXPECT_EQ(backend.Click(form, "caption"), "");
    EXPECT_EQ(backend.Click(form, "button"), "");
    EXPECT_TRUE(form.clicks.empty());
    form.button.Enabled = true;
    EXPECT_EQ(backend.Click(form, "button"), "caption");  // the label lies over its centre
    // Beside the label the picture box itself is hit.
    EXPECT_EQ(backend.ClickAt(form, 500 + 100, 500 + 50), "button");
    EXPECT_EQ(form.clicks, (std::vector<std::string>{"caption", "button"}));
}

TEST_F(ControlsTest, LabelWithoutClickLetsTheClickThroughToItsContainer) {
    form.cover.Visible = false;
    form.steps.Click = [this] { form.clicks.push_back("steps"); };
    EXPECT_EQ(backend.Click(form, "note"), "steps");
    EXPECT_EQ(backend.Click(form, "status(3)"), "steps");
    EXPECT_EQ(form.clicks, (std::vector<std::string>{"steps", "steps"}));
}

TEST_F(ControlsTest, WindowedControlsLieInFrontOfLabelsOfTheSameContainer) {
    form.cover.Visible = false;
    // A picture box declared after the label still lies in front of it.
    forms::PictureBox late{&form.steps, "late"};
    late.Move(2500, 500, 500, 400);
    late.Click = [this] { form.clicks.push_back("late"); };
    form.note.Click = [this] { form.clicks.push_back("note"); };
    EXPECT_EQ(backend.ClickAt(form, 2600, 600), "late");
    EXPECT_EQ(backend.ClickAt(form, 3500, 600), "note");
    EXPECT_EQ(form.clicks, (std::vector<std::string>{"late", "note"}));
}

TEST_F(ControlsTest, HiddenControlsAndTheirChildrenAreNotHit) {
    form.cover.Visible = false;
    form.steps.Visible = false;
    EXPECT_EQ(backend.Click(form, "caption"), "frmSample");
    EXPECT_EQ(form.HitTest(4100, 2100), &form);  // the hidden holder's place
    EXPECT_EQ(form.HitTest(-1, 10), nullptr);    // outside the client area
    EXPECT_TRUE(form.clicks.empty());
}

TEST_F(ControlsTest, FocusGoesOnlyToReachableWindowedControls) {
    form.secret.SetFocus();  // inside a hidden holder
    EXPECT_EQ(form.ActiveControl(), nullptr);
    form.hiddenHolder.Visible = true;
    form.hiddenHolder.Enabled = false;
    form.secret.SetFocus();
    EXPECT_EQ(form.ActiveControl(), nullptr);
    form.caption.SetFocus();  // labels never take it
    EXPECT_EQ(form.ActiveControl(), nullptr);
    form.visibleBox.TabStop = false;
    form.visibleBox.SetFocus();
    EXPECT_EQ(form.ActiveControl(), nullptr);
    form.button.SetFocus();
    EXPECT_EQ(form.ActiveControl(), &form.button);
}

TEST(Focus, BackendHearsOfEachFocusChange) {
    struct FocusSpy : HeadlessBackend {
        std::vector<forms::Control*> log;
        void FocusChanged(forms::Control* c) override { log.push_back(c); }
    } backend;
    Application app{backend};
    backend.Attach(app);
    SampleForm form{app};
    form.secret.SetFocus();
    form.visibleBox.SetFocus();
    EXPECT_EQ(backend.log, std::vector<forms::Control*>{&form.visibleBox});
}

TEST_F(ControlsTest, ObserversHearOnlyRealChanges) {
    std::vector<std::pair<std::string, std::string>> seen;
    app.AddChangeObserver([&](forms::Control& c, const char* property) {
        seen.emplace_back(c.DisplayName(), property);
    });
    form.status[3].Caption = "Aguarde...";
    form.status[3].Caption = "Aguarde...";
    form.status[3].ForeColor = forms::RGB(255, 0, 0);
    form.note.Visible = true;  // already visible
    form.button.Move(500, 500, 1600, 600);
    using Seen = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(seen,
              (Seen{{"status(3)", "Caption"}, {"status(3)", "ForeColor"}, {"button", "Width"}}));
}

TEST_F(ControlsTest, EffectiveStateFollowsEveryContainer) {
    EXPECT_TRUE(form.caption.EffectivelyVisible());
    form.steps.Visible = false;
    EXPECT_FALSE(form.caption.EffectivelyVisible());
    EXPECT_TRUE(form.button.Visible);
    EXPECT_TRUE(form.caption.EffectivelyEnabled());
    form.steps.Enabled = false;
    EXPECT_FALSE(form.caption.EffectivelyEnabled());
}

TEST_F(ControlsTest, OuterSizeIsClientAreaPlusFrame) {
    EXPECT_EQ(form.Width, 6000 + backend.FrameExtraWidth());
    EXPECT_EQ(form.Height, 4000 + backend.FrameExtraHeight());
    form.ScaleWidth = 16560;
    EXPECT_EQ(form.Width, 16560 + backend.FrameExtraWidth());
}

TEST(Colors, SystemColoursResolveToTheirRgbValues) {
    EXPECT_EQ(forms::ResolveColor(forms::vbWindowBackground), 0xFFFFFFu);
    EXPECT_EQ(forms::ResolveColor(forms::vbButtonFace), forms::RGB(240, 240, 240));
    EXPECT_EQ(forms::ResolveColor(forms::RGB(46, 117, 182)), 0xB6752Eu);
}

}  // namespace

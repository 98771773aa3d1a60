// The installer's own window, built by the Qt backend on the offscreen platform right after its
// load step: every control's widget checked against the designed layout, texts, colours and
// fonts, written out below as tables.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>

#include <cmath>
#include <string>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/forms/qt/control_widgets.h"
#include "platform/forms/qt/qt_backend.h"
#include "support/prefix.h"
#include "window/frmInstall.h"

namespace {

using forms::Color;
using forms::RGB;

constexpr Color kWhite = RGB(255, 255, 255);
constexpr Color kBlack = RGB(0, 0, 0);
constexpr Color kBlue = RGB(46, 117, 182);
constexpr Color kDarkGrey = RGB(64, 64, 64);
constexpr Color kMidGrey = RGB(128, 128, 128);
constexpr Color kStatusGrey = RGB(192, 192, 192);
constexpr Color kTrack = RGB(224, 224, 224);

// Positions as designed, in twips relative to the container, as the window stands after its
// load step (the start panel moved up to 1560).
struct Place {
    int left, top, width, height;
};

struct BoxRow {
    const char* name;
    const char* container;
    Place place;
    Color back;  // a system colour stands for the host's value of it
    bool bordered;
    const char* picture;  // artwork drawn from the top-left corner, "" for none
    bool hand;
    bool visible;  // the control's own visibility after the load step
};

// clang-format off
const BoxRow kBoxes[] = {
    // name, container, place, back, bordered, picture, hand, visible
    {"pnInicio", "frmInstall", {240, 1560, 16095, 3135}, kWhite, false, "", false, true},
    {"Picture7", "frmInstall", {-120, 7080, 16815, 495}, RGB(239, 239, 239), false, "", false, true},
    {"cmdFechar", "frmInstall", {6840, 5520, 2900, 615}, forms::vbButtonFace, true, "", true, true},
    {"Picture4", "frmInstall", {15960, 120, 4695, 1095}, forms::vbWindowBackground, true, "", false,
     false},
    {"Picture8", "frmInstall", {360, 240, 2655, 855}, kTrack, false, "logo", false, true},
    {"Picture1", "frmInstall", {0, 1440, 16575, 3495}, kWhite, false, "", false, true},
    {"pbBarI", "pnInicio", {6600, 1920, 2895, 135}, kTrack, false, "", false, false},
    {"pbValI", "pbBarI", {0, 0, 135, 255}, kBlue, false, "", false, true},
    {"Picture2", "Picture1", {2400, 240, 585, 600}, RGB(247, 247, 247), false, "ring", false, true},
    {"Picture5", "Picture1", {7800, 240, 585, 600}, RGB(247, 247, 247), false, "ring", false, true},
    {"Picture6", "Picture1", {12960, 240, 585, 600}, RGB(247, 247, 247), false, "ring", false, true},
    {"pnCheck(0)", "Picture1", {4800, 1680, 700, 615}, kWhite, false, "check", false, false},
    {"pnCheck(1)", "Picture1", {9960, 1680, 700, 615}, kWhite, false, "check", false, false},
    {"pnCheck(2)", "Picture1", {15240, 1680, 700, 615}, kWhite, false, "check", false, false},
    {"cmdBaixar", "Picture1", {6720, 1680, 2900, 615}, kBlue, false, "", true, false},
    {"cmdInstalar", "Picture1", {11880, 1680, 2900, 615}, kWhite, true, "", true, false},
    {"pbBar", "Picture1", {6720, 2880, 2895, 135}, kTrack, false, "", false, false},
    {"pbVal", "pbBar", {0, 0, 135, 255}, kBlue, false, "", false, true},
};

struct LabelRow {
    const char* name;
    const char* container;
    Place place;
    const char* caption;  // nullptr: rebuilt at load, checked on its own
    Color fore;
    const char* family;  // the installed family that stands in for the designed one
    double points;
    bool light;
    bool underline;
    bool hand;
    bool visible;
};

const LabelRow kLabels[] = {
    // name, container, place, caption, fore, family, points, light, underline, hand, visible
    {"lblInicio", "frmInstall", {0, 380, 16650, 675}, "Olá! seja bem-vindo.", kMidGrey, "Carlito",
     27.75, true, false, false, true},
    {"lblTenteNovamente", "pnInicio", {7170, 2040, 1785, 270}, "Tente novamente", kBlue, "Carlito",
     11.25, false, true, true, false},
    {"lblEtapa(3)", "pnInicio", {4440, 840, 7260, 345}, "Aguarde, preparando sistema de instalação",
     kDarkGrey, "Carlito", 14.25, true, false, false, true},
    {"lblMensagem(3)", "pnInicio", {5280, 1500, 5565, 870}, "Fazendo download de arquivos...",
     kStatusGrey, "Carlito", 11.25, false, false, false, false},
    {"lblRodape", "Picture7", {0, 120, 16650, 270}, nullptr, kBlue, "Carlito", 9.75, false, false,
     false, true},
    {"lblFechar", "cmdFechar", {0, 165, 2900, 270}, "Cancelar", kBlack, "Carlito", 11.25, false,
     false, true, true},
    {"lblEtapa(1)", "Picture1", {5880, 860, 4500, 700}, "Clique no botão \"Baixar Arquivos\"",
     kDarkGrey, "Carlito", 14.25, true, false, false, false},
    {"lblEtapa(2)", "Picture1", {10905, 860, 4740, 700}, "Tudo pronto, vamos iniciar a Instalação",
     kDarkGrey, "Carlito", 14.25, true, false, false, false},
    {"lblMensagem(1)", "Picture1", {5640, 2460, 4965, 870}, "Fazendo download de arquivos...",
     kStatusGrey, "Carlito", 11.25, false, false, false, false},
    {"lblMensagem(2)", "Picture1", {11160, 2400, 4305, 990},
     "Ocorreu um erro ao preparar a instalação. Tente executar este aplicativo novamente",
     kStatusGrey, "Carlito", 11.25, false, false, false, false},
    {"lblTente", "Picture1", {7320, 3000, 1665, 270}, "Tente novamente", kBlue, "Carlito", 11.25,
     false, true, true, false},
    {"Label6", "Picture2", {0, 150, 585, 270}, "1", kMidGrey, "Liberation Sans", 14.25, false,
     false, false, true},
    {"Label7", "Picture5", {0, 150, 585, 270}, "2", kMidGrey, "Liberation Sans", 14.25, false,
     false, false, true},
    {"Label10", "Picture6", {0, 150, 585, 270}, "3", kMidGrey, "Liberation Sans", 14.25, false,
     false, false, true},
    {"lblBaixar", "cmdBaixar", {0, 165, 2900, 270}, "Baixar arquivos", kWhite, "Carlito", 11.25,
     false, false, true, true},
    {"lblInstalar", "cmdInstalar", {0, 165, 2900, 270}, "Iniciar Instalação", kBlue, "Carlito",
     11.25, false, false, true, true},
};
// clang-format on

struct TextRow {
    const char* name;
    Place place;
    const char* text;
};

const TextRow kTextBoxes[] = {
    {"txtServer", {120, 120, 4335, 375}, INSTALLER_SERVER},
    {"txtUser", {120, 600, 1575, 375}, INSTALLER_USER},
    {"txtPassword", {1920, 600, 2535, 375}, INSTALLER_PASSWORD},
};

int Px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }
QRect PxRect(const Place& p) { return {Px(p.left), Px(p.top), Px(p.width), Px(p.height)}; }
QColor Q(Color c) {
    const Color rgb = forms::ResolveColor(c);
    return {int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF)};
}
QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class InstallerWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_window_qt";
        static char* argv[] = {name, nullptr};
        backend_ = new forms::QtBackend(argc, argv);
    }
    static void TearDownTestSuite() {
        delete backend_;
        backend_ = nullptr;
    }

    InstallerWindow() {
        app.Dispatch([this] { form.Form_Load(); });
        backend().Show(app, form);
        backend().Sync();
    }

    static forms::QtBackend& backend() { return *backend_; }

    QWidget* Widget(const std::string& name) {
        forms::Control* control = form.FindControl(name);
        if (!control) return nullptr;
        return static_cast<QWidget*>(backend().WidgetOf(*control));
    }
    QWidget* Top() { return static_cast<QWidget*>(backend().WidgetOf(form)); }
    static QColor PixelOf(QWidget* w, QPoint at) { return QColor(w->grab().toImage().pixel(at)); }

    static forms::QtBackend* backend_;
    testsupport::TempPrefix prefix;
    forms::Application app{backend()};
    frmInstall form{app};
};

forms::QtBackend* InstallerWindow::backend_ = nullptr;

TEST_F(InstallerWindow, WindowHasItsCaptionSizeColourAndOnlyACloseBox) {
    QWidget* top = Top();
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->windowTitle(), U("Instalador KELVORAN 10.0.X"));
    EXPECT_EQ(top->size(), QSize(Px(16560), Px(7590)));
    EXPECT_EQ(top->windowFlags() & Qt::WindowMinMaxButtonsHint, Qt::WindowFlags());
    EXPECT_TRUE(top->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(top->windowIcon().isNull());
    EXPECT_TRUE(top->isVisible());
    // Between the greeting and the steps panel only the window's own ground shows.
    EXPECT_EQ(PixelOf(top, {1090, 90}), Q(kTrack));
}

TEST_F(InstallerWindow, PictureBoxesFollowTheLayoutTable) {
    for (const BoxRow& row : kBoxes) {
        SCOPED_TRACE(row.name);
        QWidget* w = Widget(row.name);
        ASSERT_NE(w, nullptr);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName(), row.container);
        EXPECT_EQ(w->geometry(), PxRect(row.place));
        EXPECT_EQ(w->isHidden(), !row.visible);
        EXPECT_EQ(w->testAttribute(Qt::WA_SetCursor), row.hand);
        if (row.hand) {
            EXPECT_EQ(w->cursor().shape(), Qt::BitmapCursor);
        }

        // What the box shows at a point: its picture where the picture reaches, else its colour.
        const QImage art = forms::qtui::ArtPixmap(row.picture).toImage();
        EXPECT_EQ(art.isNull(), std::string(row.picture).empty());
        const auto expectedAt = [&](QPoint p) {
            return art.rect().contains(p) ? QColor(art.pixel(p)) : Q(row.back);
        };
        // Sample points away from child boxes; labels are transparent and draw no glyph there.
        const auto clear = [w](QPoint p) {
            QWidget* child = w->childAt(p);
            return child == nullptr || qobject_cast<QLabel*>(child) != nullptr;
        };
        const QImage shown = w->grab().toImage();
        const QPoint inner(w->width() - 3, w->height() - 3);
        const QPoint edge(w->width() - 1, w->height() / 2);
        ASSERT_TRUE(clear(inner) && clear(edge));
        EXPECT_EQ(QColor(shown.pixel(inner)), expectedAt(inner));
        if (row.bordered) {
            EXPECT_NE(QColor(shown.pixel(edge)), expectedAt(edge)) << "no border drawn";
        } else {
            EXPECT_EQ(QColor(shown.pixel(edge)), expectedAt(edge)) << "unexpected border";
        }
    }
}

TEST_F(InstallerWindow, LabelsFollowTheLayoutTable) {
    for (const LabelRow& row : kLabels) {
        SCOPED_TRACE(row.name);
        auto* label = qobject_cast<QLabel*>(Widget(row.name));
        ASSERT_NE(label, nullptr);
        ASSERT_NE(label->parentWidget(), nullptr);
        EXPECT_EQ(label->parentWidget()->objectName(), row.container);
        EXPECT_EQ(label->geometry(), PxRect(row.place));
        if (row.caption) {
            EXPECT_EQ(label->text(), U(row.caption));
        }
        EXPECT_EQ(label->palette().color(QPalette::Active, QPalette::WindowText), Q(row.fore));
        EXPECT_EQ(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        EXPECT_FALSE(label->autoFillBackground());  // transparent: the container shows through

        const QFont font = label->font();
        EXPECT_EQ(font.family(), row.family);
        EXPECT_EQ(QFontInfo(font).family(), row.family) << "stand-in font not installed";
        EXPECT_DOUBLE_EQ(font.pointSizeF(), row.points);
        EXPECT_EQ(font.weight(), row.light ? QFont::Light : QFont::Normal);
        EXPECT_EQ(font.underline(), row.underline);
        EXPECT_FALSE(font.bold() || font.italic());

        EXPECT_EQ(label->testAttribute(Qt::WA_SetCursor), row.hand);
        if (row.hand) {
            EXPECT_EQ(label->cursor().shape(), Qt::BitmapCursor);
        }
        EXPECT_EQ(label->isHidden(), !row.visible);
    }
}

TEST_F(InstallerWindow, FooterCarriesTheYearOfTheClock) {
    auto* footer = qobject_cast<QLabel*>(Widget("lblRodape"));
    ASSERT_NE(footer, nullptr);
    const QString year = QString::number(QDate::currentDate().year());
    EXPECT_TRUE(footer->text().contains(" | " + year + " | ")) << footer->text().toStdString();
    EXPECT_TRUE(footer->isVisible());
}

TEST_F(InstallerWindow, SettingsBoxesHoldTheServerSettingsOutOfSightAndFocus) {
    for (const TextRow& row : kTextBoxes) {
        SCOPED_TRACE(row.name);
        auto* edit = qobject_cast<QLineEdit*>(Widget(row.name));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->parentWidget()->objectName(), "Picture4");
        EXPECT_EQ(edit->geometry(), PxRect(row.place));
        EXPECT_EQ(edit->text(), U(row.text));
        EXPECT_EQ(edit->font().family(), "DejaVu Sans");
        EXPECT_DOUBLE_EQ(edit->font().pointSizeF(), 8.25);
        EXPECT_EQ(edit->focusPolicy(), Qt::NoFocus);
        EXPECT_FALSE(edit->isVisible());
    }
}

TEST_F(InstallerWindow, StartingStateShowsGreetingStartPanelAndFooterOnly) {
    for (const char* name : {"lblInicio", "Picture8", "pnInicio", "lblEtapa(3)", "Picture7",
                             "lblRodape", "cmdFechar", "lblFechar", "Picture1"}) {
        QWidget* w = Widget(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_TRUE(w->isVisible()) << name;
    }
    for (const char* name :
         {"pbBarI", "pbValI", "lblMensagem(3)", "lblTenteNovamente", "Picture4", "lblEtapa(1)",
          "lblEtapa(2)", "cmdBaixar", "lblBaixar", "cmdInstalar", "lblInstalar", "pnCheck(0)",
          "pnCheck(1)", "pnCheck(2)", "pbBar", "lblMensagem(1)", "lblMensagem(2)", "lblTente"}) {
        QWidget* w = Widget(name);
        ASSERT_NE(w, nullptr) << name;
        EXPECT_FALSE(w->isVisible()) << name;
    }
}

TEST_F(InstallerWindow, StartPanelCoversEveryControlOfTheStepsPanel) {
    QWidget* top = Top();
    QWidget* cover = Widget("pnInicio");
    ASSERT_NE(cover, nullptr);
    for (QWidget* child : Widget("Picture1")->findChildren<QWidget*>()) {
        SCOPED_TRACE(child->objectName().toStdString());
        const QPoint centre = child->mapTo(top, child->rect().center());
        QWidget* hit = top->childAt(centre);
        ASSERT_NE(hit, nullptr);
        EXPECT_TRUE(hit == cover || cover->isAncestorOf(hit)) << hit->objectName().toStdString();
    }
    // The white margin: 120 twips above the start panel, 240 at its sides and below it.
    EXPECT_EQ(top->childAt(Px(8000), Px(1500)), Widget("Picture1"));
    EXPECT_EQ(top->childAt(Px(120), Px(3000)), Widget("Picture1"));
    EXPECT_EQ(top->childAt(Px(16400), Px(3000)), Widget("Picture1"));
    EXPECT_EQ(top->childAt(Px(8000), Px(4800)), Widget("Picture1"));
}

TEST_F(InstallerWindow, RetryLinksLieInFrontOfTheStatusLinesAroundThem) {
    for (const auto& [link, line] : {std::pair{"lblTente", "lblMensagem(1)"},
                                     std::pair{"lblTenteNovamente", "lblMensagem(3)"}}) {
        form.FindControl(link)->Visible = true;
        form.FindControl(line)->Visible = true;
    }
    form.pnInicio.Visible = false;
    backend().Sync();
    QWidget* link = Widget("lblTente");
    EXPECT_EQ(Top()->childAt(link->mapTo(Top(), link->rect().center())), link);
    form.pnInicio.Visible = true;
    backend().Sync();
    link = Widget("lblTenteNovamente");
    EXPECT_EQ(Top()->childAt(link->mapTo(Top(), link->rect().center())), link);
}

TEST_F(InstallerWindow, ConnectorLineRunsBetweenTheMarkersBehindThem) {
    QWidget* panel = Widget("Picture1");
    ASSERT_NE(panel, nullptr);
    ASSERT_NE(Widget("Line1"), nullptr);
    EXPECT_EQ(Widget("Line1")->parentWidget(), panel);
    const QImage shown = panel->grab().toImage();
    const int y = Px(555);
    // One pixel thick and level along its whole run.
    for (int x : {Px(3000) + 2, Px(7000), Px(13500) - 40}) {
        EXPECT_EQ(QColor(shown.pixel(x, y)), Q(kDarkGrey)) << x;
        EXPECT_EQ(QColor(shown.pixel(x, y - 1)), Q(kWhite)) << x;
        EXPECT_EQ(QColor(shown.pixel(x, y + 1)), Q(kWhite)) << x;
    }
    EXPECT_EQ(QColor(shown.pixel(Px(3000) - 60, y)), Q(kWhite));   // before the first marker
    EXPECT_EQ(QColor(shown.pixel(Px(13500) + 10, y)), Q(kWhite));  // past the last marker
    // Over the middle marker the ring's picture shows, not the line (left of the digit).
    QWidget* marker = Widget("Picture5");
    const QPoint inMarker(8, y - marker->y());
    const QColor ring = QColor(forms::qtui::ArtPixmap("ring").toImage().pixel(inMarker));
    ASSERT_NE(ring, Q(kDarkGrey));
    EXPECT_EQ(QColor(shown.pixel(marker->x() + inMarker.x(), y)), ring);
}

TEST_F(InstallerWindow, ProgressTrackClipsItsTallerFill) {
    QWidget* track = Widget("pbBar");
    ASSERT_NE(track, nullptr);
    const QImage shown = track->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(Px(2895), Px(135)));
    EXPECT_EQ(QColor(shown.pixel(Px(135) / 2, Px(135) - 1)), Q(kBlue));
    EXPECT_EQ(QColor(shown.pixel(Px(135) + 2, 2)), Q(kTrack));
}

}  // namespace

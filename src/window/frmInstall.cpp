// The window's controls in their design-time state and the wiring of their events.
#include "window/frmInstall.h"

#include <string>

#include "installer_public_key.h"
#include "window/WindowTexts.h"

namespace {

using forms::Alignment;
using forms::Color;
using forms::Font;
using forms::MousePointer;
using forms::RGB;

constexpr Color kWhite = forms::vbWhite;
using ui::kBlue;
using ui::kTrack;
constexpr Color kDarkGrey = RGB(64, 64, 64);
constexpr Color kMidGrey = RGB(128, 128, 128);

const Font kGreetingFont{"Calibri Light", 27.75, 300};
const Font kStepFont{"Calibri Light", 14.25, 300};
const Font kTextFont{"Calibri", 11.25, 400};
const Font kLinkFont{"Calibri", 11.25, 400, true};
const Font kFooterFont{"Calibri", 9.75, 400};
const Font kMarkerFont{"Arial", 14.25, 400};
const Font kSettingsFont{"Verdana", 8.25, 400};

void Box(forms::PictureBox& box, double left, double top, double width, double height, Color back,
         int border) {
    box.Move(left, top, width, height);
    box.BackColor = back;
    box.BorderStyle = border;
}

void Text(forms::Label& label, double left, double top, double width, double height,
          const std::string& caption, Color fore, const Font& font) {
    label.Move(left, top, width, height);
    label.Caption = caption;
    label.ForeColor = fore;
    label.FontProp = font;
    label.Align = Alignment::Center;
    label.Transparent = true;
}

void SettingsBox(forms::TextBox& box, double left, double top, double width, double height,
                 const std::string& text) {
    box.Move(left, top, width, height);
    box.Text = text;
    box.FontProp = kSettingsFont;
    // The settings are read by code only; the user never reaches them.
    box.TabStop = false;
}

}  // namespace

frmInstall::frmInstall(forms::Application& app) : forms::Form(app, "frmInstall") {
    mChavePublica = kInstallerPublicKey;
    // The arrays' members are created here, after the single controls; each container's
    // stacking order is set explicitly below. The retry links lie in front of the status
    // lines that overlap them, so that their hand pointer shows.
    lblEtapa.Add(3, &pnInicio);
    lblMensagem.Add(3, &pnInicio);
    for (int i = 0; i <= 2; ++i) pnCheck.Add(i, &Picture1);
    lblEtapa.Add(1, &Picture1);
    lblEtapa.Add(2, &Picture1);
    lblMensagem.Add(1, &Picture1);
    lblMensagem.Add(2, &Picture1);

    pnInicio.SetChildrenOrder({&pbBarI, &lblTenteNovamente, &lblEtapa[3], &lblMensagem[3]});
    Picture1.SetChildrenOrder({&Picture2, &Picture5, &Picture6, &Line1, &pnCheck[0], &pnCheck[1],
                               &pnCheck[2], &lblEtapa[1], &lblEtapa[2], &cmdBaixar, &cmdInstalar,
                               &pbBar, &lblTente, &lblMensagem[1], &lblMensagem[2]});

    SetDesignTimeState();

    cmdBaixar.Click = [this] { cmdBaixar_Click(); };
    lblBaixar.Click = [this] { lblBaixar_Click(); };
    cmdInstalar.Click = [this] { cmdInstalar_Click(); };
    lblInstalar.Click = [this] { lblInstalar_Click(); };
    cmdFechar.Click = [this] { cmdFechar_Click(); };
    lblFechar.Click = [this] { lblFechar_Click(); };
    lblTente.Click = [this] { lblTente_Click(); };
    lblTenteNovamente.Click = [this] { lblTenteNovamente_Click(); };
    Timer2.OnTimer = [this] { Timer2_Timer(); };
    Timer3.OnTimer = [this] { Timer3_Timer(); };
    OnUnload = [this] { Form_Unload(); };
}

frmInstall::~frmInstall() = default;

void frmInstall::SetDesignTimeState() {
    Caption = "Instalador KELVORAN 10.0.X";
    ScaleWidth = 16560;
    ScaleHeight = 7590;
    BackColor = kTrack;
    MinButton = false;
    MaxButton = false;
    ControlBox = true;
    Icon = "icon";

    for (forms::Timer* timer : {&Timer3, &Timer2}) {
        timer->Enabled = true;
        timer->Interval = 0;
    }

    Box(pnInicio, 240, 5760, 16095, 3135, kWhite, 0);
    Box(Picture7, -120, 7080, 16815, 495, RGB(239, 239, 239), 0);
    Box(cmdFechar, 6840, 5520, 2900, 615, forms::vbButtonFace, 1);
    cmdFechar.Pointer = MousePointer::Custom;
    Box(Picture4, 15960, 120, 4695, 1095, forms::vbWindowBackground, 1);
    Picture4.Visible = false;
    Box(Picture8, 360, 240, 2655, 855, kTrack, 0);
    Picture8.Picture = "logo";
    Box(Picture1, 0, 1440, 16575, 3495, kWhite, 0);
    Text(lblInicio, 0, 380, 16650, 675, "Olá! seja bem-vindo.", kMidGrey, kGreetingFont);

    // Start panel.
    Box(pbBarI, 6600, 1920, 2895, 135, kTrack, 0);
    Box(pbValI, 0, 0, 135, 255, kBlue, 0);
    Text(lblTenteNovamente, 7170, 2040, 1785, 270, "Tente novamente", kBlue, kLinkFont);
    lblTenteNovamente.Pointer = MousePointer::Custom;
    lblTenteNovamente.Visible = false;
    Text(lblEtapa[3], 4440, 840, 7260, 345, "Aguarde, preparando sistema de instalação", kDarkGrey,
         kStepFont);
    Text(lblMensagem[3], 5280, 1500, 5565, 870, ui::kDownloading, ui::kGrey, kTextFont);
    lblMensagem[3].Visible = false;

    // Footer; the load step puts the current year into the caption.
    Text(lblRodape, 0, 120, 16650, 270,
         "Instalador KELVORAN 10.0.X | 2020 | Quorimetra Sistemas - suporte@quorimetra.com.br",
         kBlue, kFooterFont);

    Text(lblFechar, 0, 165, 2900, 270, "Cancelar", forms::vbBlack, kTextFont);
    lblFechar.Pointer = MousePointer::Custom;

    SettingsBox(txtServer, 120, 120, 4335, 375, INSTALLER_SERVER);
    SettingsBox(txtUser, 120, 600, 1575, 375, INSTALLER_USER);
    SettingsBox(txtPassword, 1920, 600, 2535, 375, INSTALLER_PASSWORD);

    // Steps panel.
    Box(Picture2, 2400, 240, 585, 600, RGB(247, 247, 247), 0);
    Box(Picture5, 7800, 240, 585, 600, RGB(247, 247, 247), 0);
    Box(Picture6, 12960, 240, 585, 600, RGB(247, 247, 247), 0);
    for (forms::PictureBox* marker : {&Picture2, &Picture5, &Picture6}) marker->Picture = "ring";
    Line1.X1 = 3000;
    Line1.Y1 = 555;
    Line1.X2 = 13500;
    Line1.Y2 = 555;
    Line1.BorderColor = kDarkGrey;

    const double checkLeft[] = {4800, 9960, 15240};
    for (int i = 0; i <= 2; ++i) {
        Box(pnCheck[i], checkLeft[i], 1680, 700, 615, kWhite, 0);
        pnCheck[i].Picture = "check";
        pnCheck[i].Visible = false;
    }

    Text(lblEtapa[1], 5880, 860, 4500, 700, "Clique no botão \"Baixar Arquivos\"", kDarkGrey,
         kStepFont);
    lblEtapa[1].Visible = false;
    Text(lblEtapa[2], 10905, 860, 4740, 700, "Tudo pronto, vamos iniciar a Instalação", kDarkGrey,
         kStepFont);
    lblEtapa[2].Visible = false;

    Box(cmdBaixar, 6720, 1680, 2900, 615, kBlue, 0);
    cmdBaixar.Pointer = MousePointer::Custom;
    cmdBaixar.Visible = false;
    cmdBaixar.Enabled = true;
    Box(cmdInstalar, 11880, 1680, 2900, 615, kWhite, 1);
    cmdInstalar.Pointer = MousePointer::Custom;
    cmdInstalar.Visible = false;
    cmdInstalar.Enabled = true;

    Box(pbBar, 6720, 2880, 2895, 135, kTrack, 0);
    pbBar.Visible = false;
    Box(pbVal, 0, 0, 135, 255, kBlue, 0);

    Text(lblMensagem[1], 5640, 2460, 4965, 870, ui::kDownloading, ui::kGrey, kTextFont);
    lblMensagem[1].Visible = false;
    Text(lblMensagem[2], 11160, 2400, 4305, 990,
         "Ocorreu um erro ao preparar a instalação. Tente executar este aplicativo novamente",
         ui::kGrey, kTextFont);
    lblMensagem[2].Visible = false;
    Text(lblTente, 7320, 3000, 1665, 270, "Tente novamente", kBlue, kLinkFont);
    lblTente.Pointer = MousePointer::Custom;
    lblTente.Visible = false;

    Text(Label6, 0, 150, 585, 270, "1", kMidGrey, kMarkerFont);
    Text(Label7, 0, 150, 585, 270, "2", kMidGrey, kMarkerFont);
    Text(Label10, 0, 150, 585, 270, "3", kMidGrey, kMarkerFont);

    Text(lblBaixar, 0, 165, 2900, 270, "Baixar arquivos", kWhite, kTextFont);
    lblBaixar.Pointer = MousePointer::Custom;
    Text(lblInstalar, 0, 165, 2900, 270, "Iniciar Instalação", kBlue, kTextFont);
    lblInstalar.Pointer = MousePointer::Custom;
}

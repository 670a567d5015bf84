// TForm1: start, the step panels and their enabling rules, the hover
// effects of the left column, the summary panel and the About box.
#include <QGuiApplication>

#include "app/About.h"
#include "app/AnsiText.h"
#include "app/Languages.h"
#include "app/window/MainWindow.h"
#include "midlet/Batch.h"
#include "platform/Dialogs.h"
#include "platform/Paths.h"

namespace app {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kGreen(0, 128, 0);
const QColor kBlack(0, 0, 0);

}  // namespace

void TForm1::FormCreate() {
    LoadSettings();
    setAcceptDrops(true);
    // The application's name, not a display name: the platform appends a
    // display name to every window's caption, dialogs' too.
    QCoreApplication::setApplicationName(QString::fromUtf8(kAppTitle));
    State.idsCount = 0;
    State.jarCount = 0;
    State.jadCount = 0;
    ver->SetCaption(QString::fromUtf8(kVersionLabel));
    step2->setEnabled(false);
    step3->setEnabled(false);
    step1Click();
}

void TForm1::ShowPanels(bool one, bool two, bool three, bool four) {
    Panel1->setVisible(one);
    Panel2->setVisible(two);
    Panel3->setVisible(three);
    Panel4->setVisible(four);
}

void TForm1::step1Click() {
    ShowPanels(true, false, false, false);
}

void TForm1::step2Click() {
    ShowPanels(false, true, false, false);
    jad_gen->SetItemIndex(midlet::JadKindIndex(midlet::JadKind::Full));
    step3->setEnabled(true);
}

void TForm1::step3Click() {
    SaveSettings();
    ShowPanels(false, false, true, false);
    pro->SetMax(3 * list->count());
    const midlet::RunOptions options = Options();
    midlet::RunContext run{options, State, *this, Zip, platform::ProgramFolder()};
    midlet::RunBatch(run);
}

void TForm1::step4Click() {
    ShowPanels(false, false, false, true);
    s_jad->SetCaption(QString::number(State.jadCount));
    s_jar->SetCaption(QString::number(State.jarCount));
    s_ids->SetCaption(QString::number(State.idsCount));
}

void TForm1::logClick() {
    const bool summaryShown = !Panel4->isHidden();
    Panel3->setVisible(summaryShown);
    Panel4->setVisible(!summaryShown);
}

void TForm1::ids_genClick() {
    gen_ids_s->setEnabled(ids_gen->isChecked());
}

// The highlight of a label stays until the pointer passes over the bare
// shape of the left column: the labels have no leave event.
void TForm1::lefterMouseMove() {
    for (Label* step : {step1, step2, step3}) {
        step->SetStyle(false, false);
        step->SetColor(kBlack);
    }
    Label3->SetColor(kBlack);
}

void TForm1::step1MouseMove() {
    step1->SetStyle(true, false);
    step1->SetColor(kBlue);
}

void TForm1::step2MouseMove() {
    step2->SetStyle(true, false);
    step2->SetColor(kBlue);
}

void TForm1::step3MouseMove() {
    step3->SetStyle(true, false);
    step3->SetColor(kBlue);
}

void TForm1::Label3MouseMove() {
    Label3->SetColor(kGreen);
}

void TForm1::Label3Click() {
    const int answer =
        platform::Dialogs().MessageBox(ToAnsi(QString::fromStdString(AboutText())), kAboutCaption,
                                       platform::MB_YESNO | platform::MB_ICONINFORMATION);
    if (answer == platform::IDYES) {
        platform::Dialogs().ShellOpen(platform::HelpPagePath());
    }
}

void TForm1::goto_proClick() {
    platform::Dialogs().ShellOpen(platform::ProgramFolder() + "projects");
}

void TForm1::goto_proMouseMove() {
    goto_pro->SetStyle(false, true);
    goto_pro->SetColor(kGreen);
}

void TForm1::goto_proMouseLeave() {
    goto_pro->SetStyle(false, false);
    goto_pro->SetColor(kBlack);
}

}  // namespace app

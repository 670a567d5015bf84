// The one window of the program, `TForm1`: a four-step wizard over the
// MIDlet preparation. Its controls are public, as the preparation and the
// tests read them by name.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/Controls.h"
#include "app/OpenDialog.h"
#include "app/RadioGroup.h"
#include "archive/ZipArchiver.h"
#include "midlet/Session.h"

namespace app {

class TForm1 : public QWidget, public midlet::IRunOutput {
    Q_OBJECT
  public:
    // Lays out the controls and runs FormCreate. Without a dialog the real
    // open-file dialog is used.
    explicit TForm1(std::unique_ptr<IOpenDialog> dialog = nullptr);
    ~TForm1() override;

    // The left column.
    OutlinedRect* lefter;
    Label* Label3;
    Label* ver;
    OutlinedRect* Shape2;
    Label* step1;
    Label* step2;
    Label* step3;
    Label* Label1;
    QComboBox* lang;
    // Step 1: the JAR list.
    PlainPanel* Panel1;
    QToolButton* addd;
    QToolButton* dell;
    Label* f_count;
    ListBox* list;
    // Step 2: the options.
    PlainPanel* Panel2;
    RadioGroup* jad_gen;
    CheckBox* ids_gen;
    QGroupBox* gen_ids_s;
    LabeledEdit* game_path;
    LabeledEdit* app_path;
    RadioGroup* jtype;
    CheckBox* ico_gen;
    // Step 3: progress and output log.
    PlainPanel* Panel3;
    ProgressBar* pro;
    ListBox* out;
    // The summary panel.
    PlainPanel* Panel4;
    Label* s1;
    Label* s2;
    Label* s3;
    Label* s_jar;
    Label* s_jad;
    Label* s_ids;
    Label* goto_pro;

    std::unique_ptr<IOpenDialog> opa;
    // The archive component the preparation works with, for the program's
    // life.
    archive::TZipArchiver Zip{"Zip"};
    // The cleaned name, the project name and the three counters.
    midlet::ProgramState State;

    // Event handlers.
    void FormCreate();
    void step1Click();
    void step2Click();
    void step3Click();
    void step4Click();
    void logClick();
    void ids_genClick();
    void lefterMouseMove();
    void step1MouseMove();
    void step2MouseMove();
    void step3MouseMove();
    void Label3Click();
    void Label3MouseMove();
    void goto_proClick();
    void goto_proMouseMove();
    void goto_proMouseLeave();
    void langChange();
    void adddClick();
    void dellClick();
    // Files dropped on the window (full paths, in the order of the drop).
    void WMDropFiles(const std::vector<QString>& dropped);
    // The files named on the command line (full paths), as a file manager
    // hands them over: each JAR is listed, and for a JAD the JAR beside it
    // of the same name, when there is one; other files are passed over.
    void ListFiles(const std::vector<std::string>& files);

    // Operations.
    void LoadSettings();
    void SaveSettings();
    void ApplyLanguage(int language);
    // The window options as the preparation reads them.
    midlet::RunOptions Options() const;

    // Output of a run.
    void ShowLog() override;
    void AppendLog(const std::string& line) override;
    void AdvanceProgress(int steps) override;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void CreateControls();
    void CreateLeftColumn();
    void CreateListPanel();
    void CreateOptionsPanel();
    void CreateProgressPanel();
    void CreateSummaryPanel();
    void WireEvents();
    void OrderTabs();
    template <class Sender, class Signal>
    void Wire(Sender* sender, Signal signal, void (TForm1::*handler)());

    void ShowPanels(bool one, bool two, bool three, bool four);
    void UpdateCountLabel();
    void ListChanged();
};

}  // namespace app

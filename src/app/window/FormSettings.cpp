// TForm1: the settings file read into the controls at start and written
// from them when step 3 starts, and the options a run reads.
#include <QDir>

#include "app/AnsiText.h"
#include "app/Languages.h"
#include "app/window/MainWindow.h"
#include "midlet/Settings.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace app {

namespace {

// The user's home folder, with a trailing delimiter.
std::string HomeFolder() {
    return platform::IncludeTrailingPathDelimiter(ToAnsi(QDir::homePath()));
}

}  // namespace

// On a first start (no settings file) the window speaks the user's
// language, and "Add files" opens in the home folder, not in the program's
// data folder where the settings would put it.
void TForm1::LoadSettings() {
    const std::string programFolder = platform::ProgramFolder();
    const bool firstStart = !platform::FileExists(midlet::SettingsFilePath(programFolder));
    midlet::Settings settings = midlet::LoadSettings(programFolder);
    if (firstStart) {
        settings.language = LanguageOfEnvironment();
    }
    if (firstStart || settings.path == programFolder) {
        settings.path = HomeFolder();
    }
    const bool known = settings.language >= 0 && settings.language < lang->count();
    lang->setCurrentIndex(known ? settings.language : -1);
    opa->InitialDir = settings.path;
    app_path->setText(FromAnsi(settings.apps));
    game_path->setText(FromAnsi(settings.game));
    jtype->SetItemIndex(settings.type);
    ids_gen->setChecked(settings.ids);  // a change runs ids_genClick
    ico_gen->setChecked(settings.icon);
    ApplyLanguage(lang->currentIndex());
}

void TForm1::SaveSettings() {
    midlet::Settings settings;
    settings.language = lang->currentIndex();
    settings.path = platform::ExtractFilePath(opa->FileName);
    settings.apps = ToAnsi(app_path->text());
    settings.game = ToAnsi(game_path->text());
    settings.type = jtype->ItemIndex();
    settings.ids = ids_gen->isChecked();
    settings.icon = ico_gen->isChecked();
    midlet::SaveSettings(settings, platform::ProgramFolder());
}

midlet::RunOptions TForm1::Options() const {
    midlet::RunOptions options;
    for (int i = 0; i < list->count(); ++i) {
        options.list.push_back(ToAnsi(list->item(i)->text()));
    }
    options.jadKind = midlet::JadKindFromIndex(jad_gen->ItemIndex());
    options.writeIds = ids_gen->isChecked();
    options.extractIcon = ico_gen->isChecked();
    options.midletType = midlet::MidletTypeFromIndex(jtype->ItemIndex());
    options.appPath = ToAnsi(app_path->text());
    options.gamePath = ToAnsi(game_path->text());
    return options;
}

}  // namespace app

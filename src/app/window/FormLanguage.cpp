// TForm1: the interface language applied to the captions, and the count
// label of the JAR list.
#include "app/Languages.h"
#include "app/window/MainWindow.h"

namespace app {

namespace {

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

}  // namespace

void TForm1::langChange() {
    ApplyLanguage(lang->currentIndex());
}

void TForm1::ApplyLanguage(int language) {
    const LanguageTexts* texts = TextsOf(language);
    if (texts == nullptr) {
        return;
    }
    s1->SetCaption(Utf8(texts->s1));
    s2->SetCaption(Utf8(texts->s2));
    s3->SetCaption(Utf8(texts->s3));
    goto_pro->SetCaption(Utf8(texts->goto_pro));
    ico_gen->setText(Utf8(texts->ico_gen));
    jtype->setTitle(Utf8(texts->jtype));
    jtype->SetItems({Utf8(texts->jtypeApplication), Utf8(texts->jtypeGame)});
    app_path->EditLabel->SetCaption(Utf8(texts->app_path));
    game_path->EditLabel->SetCaption(Utf8(texts->game_path));
    ids_gen->setText(Utf8(texts->ids_gen));
    jad_gen->setTitle(Utf8(texts->jad_gen));
    jad_gen->SetItems({Utf8(texts->jadFull), Utf8(texts->jadSimple)});
    addd->setText(Utf8(texts->addd));
    dell->setText(Utf8(texts->dell));
    step1->SetCaption(Utf8(texts->step1));
    step2->SetCaption(Utf8(texts->step2));
    step3->SetCaption(Utf8(texts->step3));
}

// Left as it is while no language is chosen.
void TForm1::UpdateCountLabel() {
    const LanguageTexts* texts = TextsOf(lang->currentIndex());
    if (texts == nullptr) {
        return;
    }
    f_count->SetCaption(Utf8(texts->countPrefix) + QString::number(list->count()));
}

}  // namespace app

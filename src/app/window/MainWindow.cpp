// TForm1: the controls, where they lie, and which handler each event runs.
#include "app/window/MainWindow.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>

#include "app/ExceptionBox.h"
#include "app/Fonts.h"
#include "app/Languages.h"

// Resources of a static library are linked in only when referenced.
static void InitWindowResources() {
    Q_INIT_RESOURCE(quellor);
}

namespace app {

namespace {

const QColor kGreen(0, 128, 0);

QString Utf8(const char* text) {
    return QString::fromUtf8(text);
}

// A label of fixed size.
Label* NewLabel(QWidget* parent, int left, int top, int width, int height,
                Qt::Alignment alignment) {
    auto* label = new Label(parent);
    label->setGeometry(left, top, width, height);
    label->setAlignment(alignment);
    return label;
}

// A static text with a sunken border.
Label* NewStaticText(QWidget* parent, int left, int top, int width, int height,
                     Qt::Alignment alignment, const QFont& font) {
    Label* text = NewLabel(parent, left, top, width, height, alignment | Qt::AlignTop);
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text->setLineWidth(1);
    text->setFont(font);
    return text;
}

// A label at a place, sized to its caption.
Label* NewStepLabel(QWidget* parent, int left, int top, const char* caption) {
    auto* label = new Label(parent);
    label->move(left, top);
    label->setFont(StepFont());
    label->SetAutoSize(true);
    label->SetCaption(Utf8(caption));
    return label;
}

PlainPanel* NewPanel(QWidget* parent) {
    auto* panel = new PlainPanel(parent);
    panel->setGeometry(193, 9, 447, 343);
    return panel;
}

QToolButton* NewFlatButton(QWidget* parent, int left, int top, int width, int height,
                           const char* image, QSize imageSize) {
    auto* button = new QToolButton(parent);
    button->setGeometry(left, top, width, height);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIcon(QIcon(QString::fromLatin1(image)));
    button->setIconSize(imageSize);
    return button;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addFile(QStringLiteral(":/quellor/icon-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace

TForm1::TForm1(std::unique_ptr<IOpenDialog> dialog)
    : opa(dialog ? std::move(dialog) : std::make_unique<QtOpenDialog>()) {
    InitWindowResources();
    RegisterWindowFonts();
    archive::ApplyFormValues(Zip);
    CreateControls();
    WireEvents();
    Guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
    setWindowTitle(Utf8(kAppTitle));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(647, 365);
    setFont(WindowFont());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    // Creation order is stacking order: the shapes lie under the labels of
    // the left column, and the chooser comes last so that the JAR list holds
    // the focus first.
    CreateLeftColumn();
    CreateListPanel();
    CreateOptionsPanel();
    CreateProgressPanel();
    CreateSummaryPanel();
    lang = new QComboBox(this);
    lang->setGeometry(96, 328, 85, 21);
    lang->setEditable(false);
    for (const char* name : kLanguageNames) {
        lang->addItem(Utf8(name));
    }
    OrderTabs();
}

void TForm1::CreateLeftColumn() {
    lefter = new OutlinedRect(this);
    lefter->setGeometry(8, 8, 177, 345);
    Label3 = NewLabel(this, 8, 8, 177, 39, Qt::AlignHCenter | Qt::AlignTop);
    Label3->setFont(TitleFont());
    Label3->SetCaption(Utf8(kAppTitle));
    ver = NewLabel(this, 8, 48, 177, 41, Qt::AlignRight | Qt::AlignTop);
    ver->setWordWrap(true);
    Shape2 = new OutlinedRect(this);
    Shape2->setGeometry(192, 8, 449, 345);
    step1 = NewStepLabel(this, 24, 112, "step1");
    step2 = NewStepLabel(this, 24, 136, "step2");
    step3 = NewStepLabel(this, 24, 160, "step3");
    Label1 = NewLabel(this, 16, 336, 77, 13, Qt::AlignLeft | Qt::AlignTop);
    Label1->SetCaption(Utf8(kLanguageLabel));
}

void TForm1::CreateListPanel() {
    Panel1 = NewPanel(this);
    addd = NewFlatButton(Panel1, 8, 304, 137, 33, ":/quellor/add.png", QSize(17, 15));
    dell = NewFlatButton(Panel1, 152, 304, 134, 33, ":/quellor/delete.png", QSize(21, 21));
    f_count = NewStaticText(Panel1, 304, 304, 137, 33, Qt::AlignHCenter, WindowFont());
    f_count->SetColor(kGreen);
    list = new ListBox(Panel1, 13);
    list->setGeometry(8, 8, 433, 289);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void TForm1::CreateOptionsPanel() {
    Panel2 = NewPanel(this);
    jad_gen = new RadioGroup(Panel2, 2);
    jad_gen->setGeometry(16, 56, 401, 41);
    jad_gen->setTitle(QStringLiteral("jad_gen"));
    gen_ids_s = new QGroupBox(Panel2);
    gen_ids_s->setGeometry(16, 115, 401, 158);
    // Made after the group box, so it lies over its top edge as its title.
    ids_gen = new CheckBox(QStringLiteral("ids_gen"), Panel2);
    ids_gen->setGeometry(24, 112, 185, 17);
    ids_gen->setAutoFillBackground(true);
    ids_gen->setBackgroundRole(QPalette::Window);
    ids_gen->setChecked(true);
    game_path = new LabeledEdit(gen_ids_s);
    game_path->EditLabel->SetCaption(QStringLiteral("game_path"));
    game_path->SetBounds(16, 32, 369, 21);
    game_path->setText(QStringLiteral("fs:/card0/Games/"));
    app_path = new LabeledEdit(gen_ids_s);
    app_path->EditLabel->SetCaption(QStringLiteral("app_path"));
    app_path->SetBounds(16, 72, 369, 21);
    app_path->setText(QStringLiteral("fs:/card0/Applications/"));
    // Files dropped on the edits go to the window, as every drop does.
    game_path->setAcceptDrops(false);
    app_path->setAcceptDrops(false);
    jtype = new RadioGroup(gen_ids_s, 2);
    jtype->setGeometry(16, 104, 369, 41);
    jtype->setTitle(QStringLiteral("java type"));
    ico_gen = new CheckBox(QStringLiteral("ico_gen"), Panel2);
    ico_gen->setGeometry(16, 288, 361, 17);
    ico_gen->setFont(PixelFont(kBoldFace, 11, true));
    ico_gen->setChecked(true);
}

void TForm1::CreateProgressPanel() {
    Panel3 = NewPanel(this);
    pro = new ProgressBar(Panel3);
    pro->setGeometry(8, 8, 433, 25);
    pro->setCursor(Qt::PointingHandCursor);
    out = new ListBox(Panel3, 13);
    out->setGeometry(8, 40, 433, 297);
    out->setSelectionMode(QAbstractItemView::SingleSelection);
}

void TForm1::CreateSummaryPanel() {
    Panel4 = NewPanel(this);
    const QFont font = PixelFont(kTahoma, 13);
    s1 = NewStaticText(Panel4, 96, 152, 193, 20, Qt::AlignLeft, font);
    s2 = NewStaticText(Panel4, 96, 176, 193, 20, Qt::AlignLeft, font);
    s3 = NewStaticText(Panel4, 96, 200, 193, 20, Qt::AlignLeft, font);
    s_jar = NewStaticText(Panel4, 296, 152, 33, 20, Qt::AlignRight, font);
    s_jad = NewStaticText(Panel4, 296, 176, 33, 20, Qt::AlignRight, font);
    s_ids = NewStaticText(Panel4, 296, 200, 33, 20, Qt::AlignRight, font);
    s1->SetCaption(QStringLiteral("s1"));
    s2->SetCaption(QStringLiteral("s2"));
    s3->SetCaption(QStringLiteral("s3"));
    // A click on the summary anywhere but the link goes back to the log.
    for (Label* text : {s1, s2, s3, s_jar, s_jad, s_ids}) {
        text->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    for (Label* number : {s_jar, s_jad, s_ids}) {
        number->SetCaption(QStringLiteral("0"));
    }
    goto_pro = NewLabel(Panel4, 96, 248, 241, 41, Qt::AlignHCenter | Qt::AlignTop);
    goto_pro->setWordWrap(true);
    goto_pro->setFont(font);
    goto_pro->SetCaption(QStringLiteral("goto_pro"));
    goto_pro->setCursor(Qt::PointingHandCursor);
}

// Keyboard order: the list of step 1, the log of step 3, the options of
// step 2 (JAD kind, IDS check box, the IDS group: game path, application
// path, midlet type; then the icon check box), and the language chooser.
void TForm1::OrderTabs() {
    std::vector<QWidget*> chain = {list, out};
    for (int i = 0; i < jad_gen->Count(); ++i) {
        chain.push_back(jad_gen->Button(i));
    }
    chain.insert(chain.end(), {ids_gen, game_path, app_path});
    for (int i = 0; i < jtype->Count(); ++i) {
        chain.push_back(jtype->Button(i));
    }
    chain.insert(chain.end(), {ico_gen, lang});
    for (std::size_t i = 1; i < chain.size(); ++i) {
        setTabOrder(chain[i - 1], chain[i]);
    }
}

template <class Sender, class Signal>
void TForm1::Wire(Sender* sender, Signal signal, void (TForm1::*handler)()) {
    connect(sender, signal, this,
            [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::WireEvents() {
    Wire(lefter, &OutlinedRect::mouseMoved, &TForm1::lefterMouseMove);
    Wire(Label3, &Label::clicked, &TForm1::Label3Click);
    Wire(Label3, &Label::mouseMoved, &TForm1::Label3MouseMove);
    Wire(step1, &Label::clicked, &TForm1::step1Click);
    Wire(step1, &Label::mouseMoved, &TForm1::step1MouseMove);
    Wire(step2, &Label::clicked, &TForm1::step2Click);
    Wire(step2, &Label::mouseMoved, &TForm1::step2MouseMove);
    Wire(step3, &Label::clicked, &TForm1::step3Click);
    Wire(step3, &Label::mouseMoved, &TForm1::step3MouseMove);
    Wire(lang, &QComboBox::activated, &TForm1::langChange);
    Wire(addd, &QToolButton::clicked, &TForm1::adddClick);
    Wire(dell, &QToolButton::clicked, &TForm1::dellClick);
    Wire(ids_gen, &QCheckBox::toggled, &TForm1::ids_genClick);
    Wire(goto_pro, &Label::clicked, &TForm1::goto_proClick);
    Wire(goto_pro, &Label::mouseMoved, &TForm1::goto_proMouseMove);
    Wire(goto_pro, &Label::mouseLeft, &TForm1::goto_proMouseLeave);
    // The summary is reached from the progress bar and left by a click on it.
    Wire(pro, &ProgressBar::clicked, &TForm1::step4Click);
    Wire(Panel4, &PlainPanel::clicked, &TForm1::logClick);
    // Radio buttons come with the first language; keep them in the order.
    connect(jad_gen, &RadioGroup::itemsChanged, this, &TForm1::OrderTabs);
    connect(jtype, &RadioGroup::itemsChanged, this, &TForm1::OrderTabs);
}

}  // namespace app

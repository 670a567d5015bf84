// The window as it first appears: its controls where they belong, its
// fonts, its keyboard order and its start state.
#include <QFontInfo>
#include <QFontMetrics>

#include <QImage>
#include <QPainter>

#include "app/WindowFixture.h"

namespace apptest {
namespace {

struct Placement {
    const char* name;
    QWidget* control;
    QWidget* parent;
    QRect rect;
};

TEST_F(WindowTest, ControlsLieWhereTheyBelong) {
    app::TForm1& f = Form();
    const Placement table[] = {
        {"lefter", f.lefter, &f, {8, 8, 177, 345}},
        {"Label3", f.Label3, &f, {8, 8, 177, 39}},
        {"ver", f.ver, &f, {8, 48, 177, 41}},
        {"Shape2", f.Shape2, &f, {192, 8, 449, 345}},
        {"Label1", f.Label1, &f, {16, 336, 77, 13}},
        {"lang", f.lang, &f, {96, 328, 85, 21}},
        {"Panel1", f.Panel1, &f, {193, 9, 447, 343}},
        {"addd", f.addd, f.Panel1, {8, 304, 137, 33}},
        {"dell", f.dell, f.Panel1, {152, 304, 134, 33}},
        {"f_count", f.f_count, f.Panel1, {304, 304, 137, 33}},
        {"list", f.list, f.Panel1, {8, 8, 433, 289}},
        {"Panel2", f.Panel2, &f, {193, 9, 447, 343}},
        {"jad_gen", f.jad_gen, f.Panel2, {16, 56, 401, 41}},
        {"ids_gen", f.ids_gen, f.Panel2, {24, 112, 185, 17}},
        {"gen_ids_s", f.gen_ids_s, f.Panel2, {16, 115, 401, 158}},
        {"game_path", f.game_path, f.gen_ids_s, {16, 32, 369, 21}},
        {"app_path", f.app_path, f.gen_ids_s, {16, 72, 369, 21}},
        {"jtype", f.jtype, f.gen_ids_s, {16, 104, 369, 41}},
        {"ico_gen", f.ico_gen, f.Panel2, {16, 288, 361, 17}},
        {"Panel3", f.Panel3, &f, {193, 9, 447, 343}},
        {"pro", f.pro, f.Panel3, {8, 8, 433, 25}},
        {"out", f.out, f.Panel3, {8, 40, 433, 297}},
        {"Panel4", f.Panel4, &f, {193, 9, 447, 343}},
        {"s1", f.s1, f.Panel4, {96, 152, 193, 20}},
        {"s3", f.s3, f.Panel4, {96, 200, 193, 20}},
        {"s_jar", f.s_jar, f.Panel4, {296, 152, 33, 20}},
        {"s_ids", f.s_ids, f.Panel4, {296, 200, 33, 20}},
        {"goto_pro", f.goto_pro, f.Panel4, {96, 248, 241, 41}},
    };
    for (const Placement& p : table) {
        SCOPED_TRACE(p.name);
        EXPECT_EQ(p.control->parentWidget(), p.parent);
        EXPECT_EQ(p.control->geometry(), p.rect);
    }
    // Step labels sit at their places and fit their text.
    EXPECT_EQ(f.step1->pos(), QPoint(24, 112));
    EXPECT_EQ(f.step2->pos(), QPoint(24, 136));
    EXPECT_EQ(f.step3->pos(), QPoint(24, 160));
    EXPECT_EQ(f.step1->size(), f.step1->sizeHint());
    // Each edit's label stands above it, inside the group.
    EXPECT_EQ(f.game_path->EditLabel->parentWidget(), f.gen_ids_s);
    EXPECT_EQ(f.game_path->EditLabel->geometry().bottom() + 1 + 3, 32);
    EXPECT_EQ(f.app_path->EditLabel->geometry().bottom() + 1 + 3, 72);
}

TEST_F(WindowTest, WindowIsFixedAndCannotBeMaximised) {
    app::TForm1& f = Form();
    EXPECT_EQ(f.windowTitle(), "Quellor");
    EXPECT_EQ(f.size(), QSize(647, 365));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f.windowIcon().isNull());
    EXPECT_EQ(QApplication::applicationDisplayName(), "Quellor");
    // No display name of its own is set, which the platform would append to
    // every caption ("About — Quellor"): the name follows the application's.
    QCoreApplication::setApplicationName("probe");
    EXPECT_EQ(QApplication::applicationDisplayName(), "probe");
    QCoreApplication::setApplicationName("Quellor");
}

// The darkness of a text drawn in black on white, summed over its pixels.
int Ink(const QFont& font, const QString& text) {
    QImage image(200, 30, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(2, 20, text);
    painter.end();
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ink += 255 - qGray(image.pixel(x, y));
        }
    }
    return ink;
}

// The review of the window's look: faces that draw what the design asks for,
// and the version's two lines ending at one right edge inside the column.
TEST_F(WindowTest, BoldCheckBoxAndTheVersionLinesEndTogether) {
    app::TForm1& f = Form();
    // The bold face is drawn, not only asked for: the caption takes clearly
    // more ink than in the same face without bold.
    QFont regular = f.ico_gen->font();
    regular.setBold(false);
    EXPECT_GT(Ink(f.ico_gen->font(), f.ico_gen->text()), Ink(regular, f.ico_gen->text()) * 6 / 5);

    const QStringList lines = f.ver->text().split('\n');
    ASSERT_EQ(lines.size(), 2);
    // Each line keeps its trailing space as room before the edge, so the
    // last dark pixels of both lines stand within a pixel or two.
    EXPECT_TRUE(lines[0].endsWith(QChar::Nbsp) && lines[1].endsWith(QChar::Nbsp));
    QImage image(f.ver->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    f.ver->render(&image);
    int rightmost[2] = {-1, -1};
    const int split = f.ver->contentsRect().top() + QFontMetrics(f.ver->font()).lineSpacing();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                int& r = rightmost[y < split ? 0 : 1];
                r = std::max(r, x);
            }
        }
    }
    EXPECT_GT(rightmost[0], 0);
    EXPECT_LE(std::abs(rightmost[0] - rightmost[1]), 2) << rightmost[0] << " " << rightmost[1];
    EXPECT_LT(rightmost[0], f.lefter->geometry().right() - f.ver->x() - 1);
}

TEST_F(WindowTest, StacksShapesUnderLabelsAndTheCheckBoxOverItsGroup) {
    app::TForm1& f = Form();
    EXPECT_EQ(f.childAt(QPoint(30, 115)), f.step1);
    EXPECT_EQ(f.childAt(QPoint(100, 20)), f.Label3);
    EXPECT_EQ(f.childAt(QPoint(100, 250)), f.lefter);
    f.step2Click();
    // The check box covers the top edge of the group box it titles.
    EXPECT_EQ(f.Panel2->childAt(QPoint(30, 116)), f.ids_gen);
}

TEST_F(WindowTest, StartsOnStepOneWithTheLaterStepsDisabled) {
    app::TForm1& f = Form();
    EXPECT_EQ(ShownPanels(), "1");
    EXPECT_TRUE(f.step1->isEnabled());
    EXPECT_FALSE(f.step2->isEnabled());
    EXPECT_FALSE(f.step3->isEnabled());
    EXPECT_EQ(f.State.jarCount, 0);
    EXPECT_EQ(f.State.jadCount, 0);
    EXPECT_EQ(f.State.idsCount, 0);
    EXPECT_EQ(f.ver->Caption(), Q("version 1.6 build 18/8/2007 \r by Tolmar (Rusk) "));
    EXPECT_EQ(f.ver->text().count('\n'), 1);  // shown as two lines
    EXPECT_TRUE(f.ver->alignment() & Qt::AlignRight);
    EXPECT_EQ(f.f_count->Caption(), "");
    EXPECT_EQ(f.s_jar->Caption(), "0");
    EXPECT_TRUE(f.acceptDrops());
    EXPECT_EQ(f.focusWidget(), f.list);
}

TEST_F(WindowTest, KeyboardOrderFollowsTheSteps) {
    app::TForm1& f = Form();
    f.jtype->SetItemIndex(0);
    std::vector<QWidget*> order;
    QWidget* w = f.list;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && w->window() == &f) {
            order.push_back(w);
        }
        w = w->nextInFocusChain();
    } while (w != f.list);
    const std::vector<QWidget*> expected = {
        f.list,      f.out,      f.jad_gen->Button(0), f.jad_gen->Button(1), f.ids_gen,
        f.game_path, f.app_path, f.jtype->Button(0),   f.jtype->Button(1),   f.ico_gen,
        f.lang};
    EXPECT_EQ(order, expected);
}

// Every caption is drawn in its own face, with no character taken from a
// fallback font.
TEST_F(WindowTest, FontsAreTheIntendedFacesAndHoldEveryCharacter) {
    app::TForm1& f = Form();
    struct Face {
        QWidget* control;
        const char* family;
        int pixels;
        bool bold;
    };
    const Face faces[] = {
        {&f, "Tahoma", 11, false},
        {f.Label3, "Liberation Sans Narrow", 32, true},
        {f.step1, "DejaVu Sans", 13, false},
        // Bold, in a face that has a bold to draw (MS Sans Serif has none).
        {f.ico_gen, "Liberation Sans", 11, true},
        {f.s1, "Tahoma", 13, false},
        {f.goto_pro, "Tahoma", 13, false},
        {f.f_count, "Tahoma", 11, false},
        {f.list, "Tahoma", 11, false},
    };
    for (const Face& face : faces) {
        SCOPED_TRACE(face.family);
        const QFontInfo info(face.control->font());
        EXPECT_EQ(info.family(), face.family);
        EXPECT_EQ(info.pixelSize(), face.pixels);
        EXPECT_EQ(info.bold(), face.bold);
    }
    for (int language = 0; language < 3; ++language) {
        f.ApplyLanguage(language);
        const std::pair<QWidget*, QString> captions[] = {
            {f.step1, f.step1->text() + f.step2->text() + f.step3->text()},
            {f.ico_gen, f.ico_gen->text()},
            {f.s1, f.s1->text() + f.s2->text() + f.s3->text() + f.goto_pro->text()},
            {&f, f.jtype->title() + f.jtype->ItemText(0) + f.jtype->ItemText(1) +
                     f.jad_gen->title() + f.jad_gen->ItemText(0) + f.jad_gen->ItemText(1) +
                     f.ids_gen->text() + f.addd->text() + f.dell->text() +
                     f.app_path->EditLabel->text() + f.Label1->text() + f.lang->itemText(0) +
                     f.lang->itemText(2)},
        };
        for (const auto& [control, text] : captions) {
            const QFontMetrics metrics(control->font());
            for (QChar c : text) {
                EXPECT_TRUE(metrics.inFont(c)) << "U+" << std::hex << static_cast<int>(c.unicode());
            }
        }
    }
}

}  // namespace
}  // namespace apptest

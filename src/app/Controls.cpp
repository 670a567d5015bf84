#include "app/Controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>

#include "app/AnsiText.h"

namespace app {

namespace {

// A click as the window library counts it: the left button pressed on the
// control and released over it.
bool IsLeftPress(const QMouseEvent* event) {
    return event->button() == Qt::LeftButton;
}

bool IsClickRelease(const QWidget* control, const QMouseEvent* event, bool pressed) {
    return pressed && event->button() == Qt::LeftButton &&
           control->rect().contains(event->position().toPoint());
}

// The second press of a double-click arrives as a double-click event, which
// the window library would pass on as another press: taken here without
// arming the click, its release is no second click.
void SwallowSecondPress(QMouseEvent* event, bool& pressed) {
    pressed = false;
    event->accept();
}

// Spaces at the end of a line hang past the right edge when the window
// library aligns text, so the lines of a right-aligned caption would end
// where their last visible character does; as no-break spaces they take
// their room, and every line ends the same distance inside the edge.
QString KeepTrailingSpaces(QString text) {
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const bool atLineEnd =
            i + 1 == text.size() || text[i + 1] == QChar('\n') || text[i + 1] == QChar::Nbsp;
        if (text[i] == QChar(' ') && atLineEnd) {
            text[i] = QChar::Nbsp;
        }
    }
    return text;
}

// Rows of one fixed height.
class FixedRowDelegate : public QStyledItemDelegate {
  public:
    FixedRowDelegate(QObject* parent, int height) : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {QStyledItemDelegate::sizeHint(option, index).width(), height_};
    }

  private:
    int height_;
};

}  // namespace

// ---- Label

Label::Label(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
    SetColor(Qt::black);
}

void Label::SetCaption(const QString& caption) {
    caption_ = caption;
    setText((alignment() & Qt::AlignRight) ? KeepTrailingSpaces(DisplayText(caption))
                                           : DisplayText(caption));
    FitToText();
}

void Label::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    FitToText();
}

void Label::SetColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Active, QPalette::WindowText, color);
    p.setColor(QPalette::Inactive, QPalette::WindowText, color);
    setPalette(p);
}

QColor Label::Color() const {
    return palette().color(QPalette::Active, QPalette::WindowText);
}

void Label::SetStyle(bool bold, bool underline) {
    QFont f = font();
    f.setBold(bold);
    f.setUnderline(underline);
    setFont(f);
    FitToText();
}

void Label::FitToText() {
    if (autoSize_) {
        resize(sizeHint());
    }
}

void Label::mousePressEvent(QMouseEvent* event) {
    pressed_ = IsLeftPress(event);
    event->accept();
}

void Label::mouseDoubleClickEvent(QMouseEvent* event) {
    SwallowSecondPress(event, pressed_);
}

void Label::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = IsClickRelease(this, event, pressed_);
    pressed_ = false;
    event->accept();
    if (click) {
        emit clicked();
    }
}

void Label::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit mouseMoved();
}

void Label::leaveEvent(QEvent* event) {
    QLabel::leaveEvent(event);
    emit mouseLeft();
}

void Label::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        setAttribute(Qt::WA_TransparentForMouseEvents, !isEnabled());
    }
    QLabel::changeEvent(event);
}

// ---- OutlinedRect

OutlinedRect::OutlinedRect(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
}

void OutlinedRect::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void OutlinedRect::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    emit mouseMoved();
}

// ---- PlainPanel

PlainPanel::PlainPanel(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void PlainPanel::mousePressEvent(QMouseEvent* event) {
    pressed_ = IsLeftPress(event);
    event->accept();
}

void PlainPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    SwallowSecondPress(event, pressed_);
}

void PlainPanel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = IsClickRelease(this, event, pressed_);
    pressed_ = false;
    event->accept();
    if (click) {
        emit clicked();
    }
}

// ---- ProgressBar

ProgressBar::ProgressBar(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    Show();
}

void ProgressBar::SetMax(int max) {
    max_ = std::max(max, 0);
    position_ = std::min(position_, max_);
    Show();
}

void ProgressBar::StepBy(int delta) {
    position_ = std::clamp(position_ + delta, 0, max_);
    Show();
}

// A range of 0..0 would make the bar a busy indicator; an empty bar is 0 of 1.
void ProgressBar::Show() {
    setRange(0, std::max(max_, 1));
    setValue(position_);
}

void ProgressBar::mousePressEvent(QMouseEvent* event) {
    pressed_ = IsLeftPress(event);
    event->accept();
}

void ProgressBar::mouseDoubleClickEvent(QMouseEvent* event) {
    SwallowSecondPress(event, pressed_);
}

void ProgressBar::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = IsClickRelease(this, event, pressed_);
    pressed_ = false;
    event->accept();
    if (click) {
        emit clicked();
    }
}

// ---- LabeledEdit

LabeledEdit::LabeledEdit(QWidget* parent) : QLineEdit(parent), EditLabel(new Label(parent)) {
    EditLabel->SetAutoSize(true);
}

void LabeledEdit::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, width, height);
    EditLabel->move(left, top - EditLabel->height() - 3);
}

// ---- ListBox

ListBox::ListBox(QWidget* parent, int itemHeight) : QListWidget(parent) {
    setItemDelegate(new FixedRowDelegate(this, itemHeight));
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
}

}  // namespace app

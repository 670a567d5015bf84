// The small control kinds of the window, with the behaviour the form relies
// on: captions that break at a carriage return, labels that size to their
// text, shapes and labels that report the pointer, and a progress bar that
// keeps its position when its maximum changes.
#pragma once

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QWidget>

namespace app {

// A label or static text. It reports clicks and pointer moves (every move,
// also without a button), and the pointer leaving it. A double-click is one
// click, as on every clickable control here. A disabled label lets
// the pointer through to whatever lies under it, and is drawn greyed
// whatever its colour.
class Label : public QLabel {
    Q_OBJECT
  public:
    explicit Label(QWidget* parent);

    // The caption exactly as set; the label shows it with CR as a line break.
    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // Sized to its text: every caption or font change resizes it.
    void SetAutoSize(bool autoSize);

    void SetColor(const QColor& color);
    QColor Color() const;
    // The font style: bold and underline (no style: both false).
    void SetStyle(bool bold, bool underline);

  signals:
    void clicked();
    void mouseMoved();
    void mouseLeft();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void FitToText();

    QString caption_;
    bool autoSize_ = false;
    bool pressed_ = false;
};

// A rectangle with a white fill and a 1-pixel black outline.
class OutlinedRect : public QWidget {
    Q_OBJECT
  public:
    explicit OutlinedRect(QWidget* parent);

  signals:
    void mouseMoved();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

// A white panel without a bevel. It reports a click on its bare surface.
class PlainPanel : public QWidget {
    Q_OBJECT
  public:
    explicit PlainPanel(QWidget* parent);

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    bool pressed_ = false;
};

// A progress bar with minimum 0. Its position stays within 0..Max: a step
// past the maximum stops there, and a smaller maximum pulls the position
// down to it. A maximum of 0 shows an empty bar.
class ProgressBar : public QProgressBar {
    Q_OBJECT
  public:
    explicit ProgressBar(QWidget* parent);

    int Position() const { return position_; }
    int Max() const { return max_; }
    void SetMax(int max);
    void StepBy(int delta);

  signals:
    void clicked();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void Show();

    int position_ = 0;
    int max_ = 100;
    bool pressed_ = false;
};

// An edit with its label above it (3 pixels between them), both children
// of the edit's parent.
class LabeledEdit : public QLineEdit {
    Q_OBJECT
  public:
    explicit LabeledEdit(QWidget* parent);

    Label* EditLabel;
    // Places the edit and, above it, its label.
    void SetBounds(int left, int top, int width, int height);
};

// A check box that takes a click anywhere in its rectangle, not only on its
// mark and text.
class CheckBox : public QCheckBox {
    Q_OBJECT
  public:
    CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {}

  protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A list box whose rows all have one height.
class ListBox : public QListWidget {
    Q_OBJECT
  public:
    ListBox(QWidget* parent, int itemHeight);
};

}  // namespace app

// TForm1 as the output of a run: the log list and the progress bar.
#include "app/AnsiText.h"
#include "app/window/MainWindow.h"

namespace app {

void TForm1::ShowLog() {
    out->show();
}

// The run holds the window's thread; each output is painted at once so the
// user sees the run advance.
void TForm1::AppendLog(const std::string& line) {
    out->addItem(FromAnsi(line));
    out->repaint();
}

void TForm1::AdvanceProgress(int steps) {
    pro->StepBy(steps);
    pro->repaint();
}

}  // namespace app

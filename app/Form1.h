#pragma once

#include <QCheckBox>
#include <QFileDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>
#include <functional>
#include <string>

#include "convert/RunSeams.h"

namespace quill {

// The one window of both programs: a large "Convert to HTML" button and four options.
// The two programs differ only in the page style handed to the conversion run.
//
// The components are members of the form (children in Qt's sense, destroyed before the
// form's own QWidget part), in the order in which the window describes them.
class TForm1 : public QWidget {
    Q_OBJECT

  public:
    explicit TForm1(TPageStyle style, QWidget* parent = nullptr);
    ~TForm1() override;

    QFileDialog OpenDialog1;
    QFileDialog SaveDialog1;
    QPushButton Button1;
    QRadioButton RadioButton1;
    QRadioButton RadioButton2;
    QCheckBox CheckBox1;
    QCheckBox cbColor;

    // Runs once, when the form and all its components exist: both dialogs start in the
    // folder that is current now.
    void FormCreate(QObject* Sender);
    // The conversion run, synchronously. A failure is shown in a message box and the
    // window stays ready for the next run.
    void Button1Click(QObject* Sender);
    // Every key pressed on the form or one of its controls comes here first; answers
    // whether the key is done with (otherwise it goes on as usual). Enter anywhere runs
    // the button, the window's default button. Escape closes the window from the form or
    // the button, whatever the modifiers, and does nothing on an option. Key is a Qt key
    // code.
    bool FormKeyDown(QObject* Sender, int Key, Qt::KeyboardModifiers Shift);

    TPageStyle PageStyle() const { return style_; }

    // Seams for tests. ExecDialog shows a file dialog modally and answers whether it was
    // accepted; ShowError shows a failed run's message. Both default to the real thing.
    std::function<bool(QFileDialog& dialog)> ExecDialog;
    std::function<void(const QString& message)> ShowError;

    // The file chosen in a dialog just accepted, as the run wants it (local 8-bit bytes).
    static std::string ChosenFile(const QFileDialog& dialog);

  protected:
    // Hands every key press of the form and its controls to FormKeyDown.
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void BuildWindow();
    void FitOuterSize();

    TPageStyle style_;
    bool outerSizeFitted_ = false;
};

}  // namespace quill

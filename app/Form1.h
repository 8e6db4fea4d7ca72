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
    // Escape closes the window, whatever the modifiers; every other key goes on as usual.
    // Key is a Qt key code and is never changed.
    void FormKeyDown(QObject* Sender, int& Key, Qt::KeyboardModifiers Shift);

    TPageStyle PageStyle() const { return style_; }

    // Seams for tests. ExecDialog shows a file dialog modally and answers whether it was
    // accepted; ShowError shows a failed run's message. Both default to the real thing.
    std::function<bool(QFileDialog& dialog)> ExecDialog;
    std::function<void(const QString& message)> ShowError;

    // The file chosen in a dialog just accepted, as the run wants it (local 8-bit bytes).
    static std::string ChosenFile(const QFileDialog& dialog);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void BuildWindow();
    void FitOuterSize();

    TPageStyle style_;
    bool outerSizeFitted_ = false;
};

}  // namespace quill

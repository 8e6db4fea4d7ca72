#pragma once

#include <QCheckBox>
#include <QFileDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert/RunSeams.h"

namespace quill {

class TArchiveTask;

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
    // Asks where the site of dropped documents or folders goes; never part of the layout.
    QFileDialog SiteDialog;

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
    // Local files and folders dropped on the window. One document is the button's run
    // with that document as the input. Several documents, or a folder, become a site in
    // a folder the person chooses: converted on a worker thread, with the options as they
    // are now, under a progress dialog that can cancel, and summed up in one box at the
    // end. Answers whether the drop is taken: nothing is, while a site is being made.
    bool FormDropFiles(const QStringList& paths);
    // The documents and folders the program was started with (local 8-bit bytes, as the
    // file manager gave them). One document is the button's run with that document as the
    // input, its page proposed beside it; a document that cannot be read gets the run's
    // message without a question. Several documents, or a folder, are a site as for a drop.
    void OpenDocuments(const std::vector<std::string>& paths);

    TPageStyle PageStyle() const { return style_; }

    // Seams for tests. ExecDialog shows a file dialog modally and answers whether it was
    // accepted; ShowError shows a failed run's message. Both default to the real thing.
    std::function<bool(QFileDialog& dialog)> ExecDialog;
    std::function<void(const QString& message)> ShowError;
    // Shows the summary of a site made from a drop; defaults to a message box.
    std::function<void(const QString& message)> ShowSummary;

    // The file chosen in a dialog just accepted, as the run wants it (local 8-bit bytes).
    static std::string ChosenFile(const QFileDialog& dialog);

  protected:
    // Hands every key press of the form and its controls to FormKeyDown.
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildWindow();
    void FitOuterSize();
    // Both roads of a drop or a start with documents; beside: the page goes beside the
    // one document by default, and only a document that can be read is asked about.
    bool ConvertFiles(const std::vector<std::string>& paths, bool beside);
    void ShowArchiveProgress();

    std::unique_ptr<TArchiveTask> archive_;  // the site being made from a drop, if any
    std::unique_ptr<QProgressDialog> progress_;
    QTimer archivePoll_;

    TPageStyle style_;
    bool outerSizeFitted_ = false;
};

}  // namespace quill

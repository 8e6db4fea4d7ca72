#include "app/Form1.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <thread>
#include <utility>

#include "app/ArchiveTask.h"
#include "app/FormRun.h"
#include "platform/RecordFile.h"

namespace quill {

namespace {

// The window as it is laid out, in pixels: position and outer size (frame included).
constexpr int kLeft = 288;
constexpr int kTop = 227;
constexpr int kOuterWidth = 231;
constexpr int kOuterHeight = 159;

// An 8-point sans-serif face at 96 pixels per inch: 11 pixels high. The layout is in
// pixels, so the font is too.
constexpr int kFontPixels = 11;

// The options as the conversion run reads them: straight from the controls, at the
// moment it asks.
class TFormOptions : public TOptionsSource {
  public:
    explicit TFormOptions(TForm1& form) : form_(form) {}
    bool UseColorsChecked() override { return form_.cbColor.isChecked(); }
    bool Pitch42Checked() override { return form_.CheckBox1.isChecked(); }
    bool UseBmpChecked() override { return form_.RadioButton1.isChecked(); }

  private:
    TForm1& form_;
};

// The two file questions of a run, asked through the form's dialogs; a document dropped
// on the window answers the first without its dialog.
class TDialogChooser : public TFileChooser {
  public:
    explicit TDialogChooser(TForm1& form, std::optional<std::string> dropped = {},
                            std::optional<QString> pageFolder = {})
        : form_(form), dropped_(std::move(dropped)), pageFolder_(std::move(pageFolder)) {}

    bool ChooseInput(std::string& fileName) override {
        if (dropped_) {
            fileName = *dropped_;
            return true;
        }
        if (!form_.ExecDialog(form_.OpenDialog1)) return false;
        fileName = TForm1::ChosenFile(form_.OpenDialog1);
        if (fileName.empty()) return false;
        // The next run offers the same document again.
        form_.OpenDialog1.selectFile(QFile::decodeName(fileName.c_str()));
        return true;
    }

    bool ChooseOutput(const std::string& proposedName, std::string& fileName) override {
        if (pageFolder_) form_.SaveDialog1.setDirectory(*pageFolder_);
        if (!proposedName.empty()) {
            form_.SaveDialog1.selectFile(QFile::decodeName(proposedName.c_str()));
        } else if (auto* edit =
                       form_.SaveDialog1.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            // selectFile passes over an empty name, but the last run's name must go all
            // the same.
            edit->clear();
        }
        if (!form_.ExecDialog(form_.SaveDialog1)) return false;
        fileName = TForm1::ChosenFile(form_.SaveDialog1);
        return !fileName.empty();
    }

  private:
    TForm1& form_;
    std::optional<std::string> dropped_;
    std::optional<QString> pageFolder_;
};

// The local files of a drag, or nothing when anything in it is not one: a web address or
// text is no document.
QStringList DroppedFiles(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty()) return {};
        paths << url.toLocalFile();
    }
    return paths;
}

std::string Local8Bit(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString Tr(const char* text) {
    return QCoreApplication::translate("quill::TForm1", text);
}

// Messages name files, and a file name such as "<b>x</b>.$w" must show as it is, not as
// rich text.
void ShowPlainMessage(QWidget* parent, QMessageBox::Icon icon, const QString& message) {
    QMessageBox box(icon, QCoreApplication::applicationName(), message, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

// Numbers as the command line writes them, in groups of three ("5,210"), whatever the
// language.
QString Grouped(size_t n) {
    return QLocale(QLocale::English).toString(qulonglong(n));
}

QString Duration(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    if (s < 60) return Tr(QT_TRANSLATE_NOOP("quill::TForm1", "%1 s")).arg(s);
    if (s < 3600)
        return Tr(QT_TRANSLATE_NOOP("quill::TForm1", "%1 min %2 s")).arg(s / 60).arg(s % 60);
    return Tr(QT_TRANSLATE_NOOP("quill::TForm1", "%1 h %2 min")).arg(s / 3600).arg(s % 3600 / 60);
}

// The one box at the end of a site: how many converted, each failure and why (the
// reasons as the run gave them).
QString Summary(const TArchiveTask::TState& state) {
    QString text =
        state.Cancelling
            ? Tr(state.Total == 1
                     ? QT_TRANSLATE_NOOP("quill::TForm1", "Cancelled: %1 of %2 document converted.")
                     : QT_TRANSLATE_NOOP("quill::TForm1",
                                         "Cancelled: %1 of %2 documents converted."))
                  .arg(state.Converted)
                  .arg(Grouped(state.Total))
            : Tr(state.Converted == 1
                     ? QT_TRANSLATE_NOOP("quill::TForm1", "%1 document converted.")
                     : QT_TRANSLATE_NOOP("quill::TForm1", "%1 documents converted."))
                  .arg(Grouped(state.Converted));
    if (!state.Failures.empty())
        text += QStringLiteral("\n\n") +
                Tr(state.Failures.size() == 1 ? QT_TRANSLATE_NOOP("quill::TForm1", "%1 failure:")
                                              : QT_TRANSLATE_NOOP("quill::TForm1", "%1 failures:"))
                    .arg(Grouped(state.Failures.size()));
    for (const std::string& line : state.Failures)
        text += QStringLiteral("\n") + QString::fromLocal8Bit(line.c_str());
    return text;
}

}  // namespace

TForm1::TForm1(TPageStyle style, QWidget* parent)
    : QWidget(parent),
      OpenDialog1(this),
      SaveDialog1(this),
      Button1(tr("Convert to HTML"), this),
      RadioButton1(tr("use BMP pictures"), this),
      RadioButton2(tr("use PNG pictures"), this),
      CheckBox1(tr("42 pitch"), this),
      cbColor(tr("use colors"), this),
      SiteDialog(this),
      style_(style) {
    ExecDialog = [](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    ShowError = [this](const QString& message) {
        ShowPlainMessage(this, QMessageBox::Critical, message);
    };
    ShowSummary = [this](const QString& message) {
        ShowPlainMessage(this, QMessageBox::Information, message);
    };
    BuildWindow();
    // The form and all its components are in place: now its creation handler runs.
    FormCreate(this);
}

TForm1::~TForm1() = default;

void TForm1::BuildWindow() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(tr("Vornik->HTML convertor"));
    setWindowIcon(QIcon(QStringLiteral(":/MAINICON")));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kFontPixels);
    setFont(font);
    move(kLeft, kTop);
    // Without a window frame (no window manager) the outer size is the client size;
    // FitOuterSize shrinks the client once a frame shows up (a window manager's, or the
    // 2-pixel one of the offscreen platform).
    resize(kOuterWidth, kOuterHeight);

    OpenDialog1.setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1.setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1.setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1.setFileMode(QFileDialog::AnyFile);  // a typed name need not exist
    OpenDialog1.setNameFilter(tr("Vornik v0.58 text files (*)"));
    OpenDialog1.setDefaultSuffix(QStringLiteral("$w!"));
    OpenDialog1.selectFile(QStringLiteral("obzor"));

    SaveDialog1.setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1.setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1.setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1.setFileMode(QFileDialog::AnyFile);
    SaveDialog1.setNameFilter(tr("html (*.htm *.html)"));
    SaveDialog1.setDefaultSuffix(QStringLiteral("htm"));
    // Never offered: every run proposes the document's base name instead.
    SaveDialog1.selectFile(QStringLiteral("merrowin.htm"));

    Button1.setObjectName(QStringLiteral("Button1"));
    Button1.setGeometry(0, 0, 222, 89);
    Button1.setDefault(true);
    connect(&Button1, &QPushButton::clicked, this, [this] { Button1Click(&Button1); });

    RadioButton1.setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1.setGeometry(8, 96, 113, 17);
    RadioButton2.setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2.setGeometry(8, 112, 113, 17);
    RadioButton2.setChecked(true);
    // Of the two radio buttons only the checked one is a tab stop; the arrow keys move
    // between them.
    for (QRadioButton* radio : {&RadioButton1, &RadioButton2}) {
        radio->setFocusPolicy(radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
        connect(radio, &QRadioButton::toggled, radio, [radio](bool checked) {
            radio->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus);
        });
    }

    CheckBox1.setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1.setGeometry(128, 112, 81, 17);
    cbColor.setObjectName(QStringLiteral("cbColor"));
    cbColor.setGeometry(128, 96, 89, 17);

    setTabOrder(&Button1, &RadioButton1);
    setTabOrder(&RadioButton1, &RadioButton2);
    setTabOrder(&RadioButton2, &CheckBox1);
    setTabOrder(&CheckBox1, &cbColor);

    // A key goes to the control with the focus, and on to the form if the control does
    // not want it; watching both, FormKeyDown sees it first wherever it is pressed.
    for (QWidget* widget : std::initializer_list<QWidget*>{this, &Button1, &RadioButton1,
                                                           &RadioButton2, &CheckBox1, &cbColor})
        widget->installEventFilter(this);

    SiteDialog.setObjectName(QStringLiteral("SiteDialog"));
    SiteDialog.setOption(QFileDialog::DontUseNativeDialog);
    SiteDialog.setAcceptMode(QFileDialog::AcceptOpen);
    SiteDialog.setFileMode(QFileDialog::Directory);
    SiteDialog.setOption(QFileDialog::ShowDirsOnly);
    SiteDialog.setWindowTitle(tr("Folder for the web pages"));
    setAcceptDrops(true);
    archivePoll_.setInterval(100);
    connect(&archivePoll_, &QTimer::timeout, this, [this] { ShowArchiveProgress(); });

    // First in the tab order, so it has the focus when the window is shown.
    Button1.setFocus();
}

void TForm1::FormCreate(QObject* /*Sender*/) {
    OpenDialog1.setDirectory(QDir::currentPath());
    SaveDialog1.setDirectory(OpenDialog1.directory());
    SiteDialog.setDirectory(OpenDialog1.directory());
}

void TForm1::Button1Click(QObject* /*Sender*/) {
    TFormOptions options(*this);
    TDialogChooser chooser(*this);
    try {
        RunConversion(style_, options, chooser);
    } catch (const std::exception& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
}

bool TForm1::FormKeyDown(QObject* Sender, int Key, Qt::KeyboardModifiers /*Shift*/) {
    if (Key == Qt::Key_Return || Key == Qt::Key_Enter) {
        Button1.click();
        return true;
    }
    if (Key != Qt::Key_Escape) return false;
    // An option keeps Escape to itself: it must not travel on to the form and close it.
    if (Sender == this || Sender == &Button1) close();
    return true;
}

bool TForm1::FormDropFiles(const QStringList& paths) {
    std::vector<std::string> files;
    for (const QString& path : paths) files.push_back(Local8Bit(path));
    return ConvertFiles(files, false);
}

void TForm1::OpenDocuments(const std::vector<std::string>& paths) {
    ConvertFiles(paths, true);
}

bool TForm1::ConvertFiles(const std::vector<std::string>& paths, bool beside) {
    if (paths.empty() || archive_) return false;
    std::error_code error;
    if (paths.size() == 1 && !std::filesystem::is_directory(paths.front(), error)) {
        const std::string& document = paths.front();
        TFormOptions options(*this);
        std::optional<QString> pageFolder;
        try {
            if (beside) {
                // Opened as the run opens it, so that the message is the run's own.
                TRecordFile probe;
                probe.Assign(document);
                probe.Reset();
                pageFolder = QFile::decodeName(
                    std::filesystem::absolute(document).parent_path().string().c_str());
            }
            TDialogChooser chooser(*this, document, pageFolder);
            RunConversion(style_, options, chooser);
        } catch (const std::exception& e) {
            ShowError(QString::fromLocal8Bit(e.what()));
        }
        return true;
    }
    // The options as they are now: the site is made while the person goes on using the
    // window, and a click on an option must not change half of it.
    TCallSettings settings;
    settings.colors = cbColor.isChecked();
    settings.pitch42 = CheckBox1.isChecked();
    settings.bmp = RadioButton1.isChecked();
    settings.style = style_;
    settings.jobs = 0;  // every processor
    settings.inputs = paths;
    if (!ExecDialog(SiteDialog)) return true;
    const std::string site = ChosenFile(SiteDialog);
    if (site.empty()) return true;
    settings.dir = site;
    archive_ = std::make_unique<TArchiveTask>(std::move(settings));
    progress_ = std::make_unique<QProgressDialog>(this);
    progress_->setObjectName(QStringLiteral("ProgressDialog"));
    progress_->setWindowTitle(QCoreApplication::applicationName());
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    progress_->setMinimumWidth(360);
    connect(progress_.get(), &QProgressDialog::canceled, this, [this] {
        if (archive_) archive_->Cancel();
    });
    ShowArchiveProgress();
    progress_->show();
    archivePoll_.start();
    return true;
}

void TForm1::ShowArchiveProgress() {
    if (!archive_) return;
    const TArchiveTask::TState state = archive_->State();
    if (state.Finished) {
        archivePoll_.stop();
        archive_.reset();
        progress_.reset();
        ShowSummary(Summary(state));
        return;
    }
    if (state.Cancelling) {
        progress_->setLabelText(tr("Cancelling: removing the unfinished files\u2026"));
        progress_->setCancelButton(nullptr);
        return;
    }
    progress_->setMaximum(std::max<int>(1, static_cast<int>(state.Total)));
    progress_->setValue(static_cast<int>(state.Done));
    QString text = tr("%1 of %2 documents done").arg(state.Done).arg(state.Total);
    if (!state.Current.empty())
        text +=
            QStringLiteral("\n") +
            tr("Now: %1").arg(QFileInfo(QString::fromLocal8Bit(state.Current.c_str())).fileName());
    // Documents of no known size (pipes) bring the estimate to nothing while they run.
    text += QStringLiteral("\n") + (state.SecondsLeft < 0 ? tr("Time left: estimating")
                                    : state.SecondsLeft < 1
                                        ? tr("Time left: less than a second")
                                        : tr("Time left: %1").arg(Duration(state.SecondsLeft)));
    progress_->setLabelText(text);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!archive_ && !DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (!archive_ && !DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedFiles(event->mimeData());
    if (paths.isEmpty() || archive_) return;
    event->acceptProposedAction();
    // The drag's source waits for the drop to end: the run starts once it has.
    QTimer::singleShot(0, this, [this, paths] { FormDropFiles(paths); });
}

std::string TForm1::ChosenFile(const QFileDialog& dialog) {
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return {};
    return QFile::encodeName(files.first()).toStdString();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (FormKeyDown(watched, keyEvent->key(), keyEvent->modifiers())) return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::event(QEvent* event) {
    const bool result = QWidget::event(event);
    switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
            FitOuterSize();
            break;
        default:
            break;
    }
    return result;
}

void TForm1::FitOuterSize() {
    if (outerSizeFitted_ || !isWindow() || !isVisible()) return;
    const QRect outer = frameGeometry();
    const QRect client = geometry();
    const int frameWidth = outer.width() - client.width();
    const int frameHeight = outer.height() - client.height();
    if (frameWidth == 0 && frameHeight == 0) return;  // no frame, or not known yet
    outerSizeFitted_ = true;
    resize(kOuterWidth - frameWidth, kOuterHeight - frameHeight);
}

}  // namespace quill

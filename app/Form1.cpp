#include "app/Form1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <exception>
#include <initializer_list>

#include "app/FormRun.h"

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

// The two file questions of a run, asked through the form's dialogs.
class TDialogChooser : public TFileChooser {
  public:
    explicit TDialogChooser(TForm1& form) : form_(form) {}

    bool ChooseInput(std::string& fileName) override {
        if (!form_.ExecDialog(form_.OpenDialog1)) return false;
        fileName = TForm1::ChosenFile(form_.OpenDialog1);
        if (fileName.empty()) return false;
        // The next run offers the same document again.
        form_.OpenDialog1.selectFile(QFile::decodeName(fileName.c_str()));
        return true;
    }

    bool ChooseOutput(const std::string& proposedName, std::string& fileName) override {
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
};

}  // namespace

TForm1::TForm1(TPageStyle style, QWidget* parent)
    : QWidget(parent),
      OpenDialog1(this),
      SaveDialog1(this),
      Button1(QStringLiteral("Convert to HTML"), this),
      RadioButton1(QStringLiteral("use BMP pictures"), this),
      RadioButton2(QStringLiteral("use PNG pictures"), this),
      CheckBox1(QStringLiteral("42 pitch"), this),
      cbColor(QStringLiteral("use colors"), this),
      style_(style) {
    ExecDialog = [](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    ShowError = [this](const QString& message) {
        QMessageBox::critical(this, QCoreApplication::applicationName(), message);
    };
    BuildWindow();
    // The form and all its components are in place: now its creation handler runs.
    FormCreate(this);
}

TForm1::~TForm1() = default;

void TForm1::BuildWindow() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vornik->HTML convertor"));
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
    OpenDialog1.setNameFilter(QStringLiteral("Vornik v0.58 text files (*)"));
    OpenDialog1.setDefaultSuffix(QStringLiteral("$w!"));
    OpenDialog1.selectFile(QStringLiteral("obzor"));

    SaveDialog1.setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1.setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1.setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1.setFileMode(QFileDialog::AnyFile);
    SaveDialog1.setNameFilter(QStringLiteral("html (*.htm *.html)"));
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

    // First in the tab order, so it has the focus when the window is shown.
    Button1.setFocus();
}

void TForm1::FormCreate(QObject* /*Sender*/) {
    OpenDialog1.setDirectory(QDir::currentPath());
    SaveDialog1.setDirectory(OpenDialog1.directory());
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
